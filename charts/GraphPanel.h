// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <array>
#include <cstddef>

#include "graph/Graph_2ch.h"

class PaintBox;
class QWidget;

// The window's graph area: the paint box and the 13 axis labels the graph captions and moves
// beside it (Label1 .. Label11 down the Y axis, Label15 and Label16 at the ends of the X axis),
// made on one parent at their design places in the window's client area, with the axis font.
// The widgets belong to the parent; the panel hands them to the graph and to the window, which
// anchors them to its edges.
class GraphPanel {
public:
    static constexpr QRect kPaintBox{72, 24, 560, 369};
    static constexpr std::array<QRect, 2> kXLabels = {QRect{72, 403, 39, 12},
                                                      QRect{592, 403, 39, 12}};

    explicit GraphPanel(QWidget& parent);

    // Design place of Y label `index` (0 at the top).
    static QRect YLabelDesign(std::size_t index);

    PaintBox* Box() const { return paintBox; }
    TGraph_2CH::YLabelArray& YLabels() { return yLabels; }
    TGraph_2CH::XLabelPair& XLabels() { return xLabels; }

private:
    PaintBox* paintBox = nullptr;
    TGraph_2CH::YLabelArray yLabels{};
    TGraph_2CH::XLabelPair xLabels{};
};
