// SPDX-License-Identifier: GPL-3.0-or-later
#include "charts/PaintBox.h"

#include <QPainter>

PaintBox::PaintBox(QWidget* parent) : QWidget(parent) {}

void PaintBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (OnPaint) {
        OnPaint(painter);
    }
}
