// SPDX-License-Identifier: GPL-3.0-or-later
#include "charts/GraphPanel.h"

#include <QLabel>

#include "charts/PaintBox.h"
#include "charts/WindowFont.h"

namespace {

constexpr std::array<int, TGraph_2CH::kYLabelCount> kYLabelTops = {23,  50,  82,  123, 165, 206,
                                                                   247, 288, 328, 362, 395};

QLabel* AxisLabel(const QString& text, QRect design, QWidget& parent) {
    auto* label = new QLabel(text, &parent);
    label->setGeometry(design);
    label->setFont(AxisLabelFont(12));
    return label;
}

}  // namespace

GraphPanel::GraphPanel(QWidget& parent) : paintBox(new PaintBox(&parent)) {
    paintBox->setGeometry(kPaintBox);
    for (std::size_t i = 0; i < yLabels.size(); ++i) {
        yLabels[i] = AxisLabel("8388608", YLabelDesign(i), parent);
    }
    xLabels = {AxisLabel("Label15", kXLabels[0], parent),
               AxisLabel("Label16", kXLabels[1], parent)};
}

QRect GraphPanel::YLabelDesign(std::size_t index) {
    return {16, kYLabelTops[index], 42, 12};
}
