// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QChartView>
#include <functional>

// A chart view that zooms into the rectangle dragged with the left button and shows the whole
// chart again on a click of the right one. A chart that draws a different stretch of data for
// each zoom learns of both.
class ZoomingChartView : public QChartView {
public:
    ZoomingChartView();

    std::function<void()> OnZoomed;  // after the axes took the dragged rectangle
    std::function<void()> OnReset;   // instead of Qt's own return to the whole chart

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
