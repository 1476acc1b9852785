// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/GraphPicture.h"

#include <QLabel>
#include <QPainter>
#include <QWidget>

#include "app/PaintBox.h"
#include "app/PictureCaption.h"
#include "app/WindowFont.h"
#include "common/SampleRates.h"
#include "graph/Graph_2ch.h"
#include "measure/Measurement.h"

QImage GraphPicture::Render(Measurement& data, bool fVolt, const QString& sourcePath) {
    QWidget client;
    client.setFont(WindowFont(12));
    client.setFixedSize(kSize);
    auto* paintBox = new PaintBox(&client);
    paintBox->setGeometry(kPaintBox);
    // The graph moves and sizes the labels at every drawing.
    const auto axisLabel = [&client] {
        auto* label = new QLabel(&client);
        label->setFont(AxisLabelFont(12));
        return label;
    };
    TGraph_2CH::YLabelArray yLabels{};
    for (QLabel*& label : yLabels) {
        label = axisLabel();
    }
    TGraph_2CH::XLabelPair xLabels = {axisLabel(), axisLabel()};

    TGraph_2CH graph(paintBox, &data.Series(0), &yLabels, &xLabels, &data.Settings,
                     &data.Series(1));
    paintBox->OnPaint = [&graph](QPainter& painter) { graph.PaintToScreen(painter); };
    if (data.HasData(0) || data.HasData(1)) {
        graph.DrawAll(fVolt);
    } else {
        graph.DrawEmpty(fVolt);
    }
    const MeasureSettings& settings = data.Settings;
    const ChannelSeries& shown = data.Series(settings.CHSel == 1 ? 1 : 0);
    return PictureCaption::For(sourcePath, settings.CHSel, SampleRates::SamplesPerSecond(settings),
                               settings.fSinc5, shown.Count)
        .Below(client.grab().toImage());
}
