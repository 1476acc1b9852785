// SPDX-License-Identifier: GPL-3.0-or-later
#include "charts/ZoomingChartView.h"

#include <QMouseEvent>

ZoomingChartView::ZoomingChartView() {
    setRubberBand(QChartView::RectangleRubberBand);
    setRenderHint(QPainter::Antialiasing);
}

void ZoomingChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && chart() != nullptr) {
        if (OnReset) {
            OnReset();
        } else {
            chart()->zoomReset();
        }
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && OnZoomed) {
        OnZoomed();
    }
}
