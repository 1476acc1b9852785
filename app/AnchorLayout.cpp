// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AnchorLayout.h"

#include <QWidget>

AnchorLayout::AnchorLayout(QSize size) : designSize(size) {}

void AnchorLayout::Add(QWidget* widget, QRect design, int anchors) {
    widget->setGeometry(design);
    items.push_back({widget, design, anchors});
}

void AnchorLayout::Apply(QSize size) const {
    for (const auto& item : items) {
        item.widget->setGeometry(Place(item.design, item.anchors, designSize, size));
    }
}

namespace {

// One axis: start and length of a control for a new client length.
std::pair<int, int> PlaceAxis(int start, int length, bool nearAnchor, bool farAnchor, int grow) {
    if (nearAnchor && farAnchor) {
        return {start, length + grow};
    }
    if (farAnchor) {
        return {start + grow, length};
    }
    return {start, length};
}

}  // namespace

QRect AnchorLayout::Place(QRect design, int anchors, QSize fromSize, QSize toSize) {
    const auto [x, w] = PlaceAxis(design.x(), design.width(), (anchors & Left) != 0,
                                  (anchors & Right) != 0, toSize.width() - fromSize.width());
    const auto [y, h] = PlaceAxis(design.y(), design.height(), (anchors & Top) != 0,
                                  (anchors & Bottom) != 0, toSize.height() - fromSize.height());
    return {x, y, w, h};
}
