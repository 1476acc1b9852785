// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

// Keeps controls at their design positions relative to the edges they are anchored to:
// a control anchored left and right stretches with the width, one anchored right only
// moves with the right edge, and likewise for top and bottom.
class AnchorLayout {
public:
    enum Anchor { Left = 1, Top = 2, Right = 4, Bottom = 8 };

    explicit AnchorLayout(QSize designSize);

    // Places `widget` at `design` (in the design's client coordinates) with the given anchors.
    void Add(QWidget* widget, QRect design, int anchors);
    // Re-places every control for a client area of `size`.
    void Apply(QSize size) const;
    static QRect Place(QRect design, int anchors, QSize designSize, QSize size);

private:
    struct Item {
        QWidget* widget;
        QRect design;
        int anchors;
    };
    QSize designSize;
    std::vector<Item> items;
};
