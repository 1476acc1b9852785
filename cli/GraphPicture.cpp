// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/GraphPicture.h"

#include <QPainter>
#include <QWidget>

#include "charts/GraphPanel.h"
#include "charts/PaintBox.h"
#include "charts/PictureCaption.h"
#include "charts/WindowFont.h"
#include "common/SampleRates.h"
#include "graph/Graph_2ch.h"
#include "measure/Measurement.h"

QImage GraphPicture::Render(Measurement& data, bool fVolt, const QString& sourcePath) {
    QWidget client;
    client.setFont(WindowFont(12));
    client.setFixedSize(kSize);
    GraphPanel panel(client);
    TGraph_2CH graph(panel.Box(), &data.Series(0), &panel.YLabels(), &panel.XLabels(),
                     &data.Settings, &data.Series(1));
    panel.Box()->OnPaint = [&graph](QPainter& painter) { graph.PaintToScreen(painter); };
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
