// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing at the window's design size: all 2 x 10000 samples, a window of 100, and
// QPainter drawing the same grid and polylines into the same picture for comparison.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <QPolygon>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include "bench/RatioReporter.h"
#include "boardsim/SampleSource.h"
#include "charts/GraphPanel.h"
#include "charts/PaintBox.h"
#include "common/ChannelSeries.h"
#include "common/Codes.h"
#include "graph/Graph_2ch.h"

namespace {

constexpr int kSamples = 10000;
constexpr int kTopRateIndex = 16;

// The graph as the window holds it: the window's graph panel on an unshown parent, two
// channels of simulated samples.
struct GraphScene {
    GraphScene() {
        SampleSource source(1, 4.0, 1250000.0);
        for (int i = 0; i < kSamples; ++i) {
            const auto codes = source.NextCodes(kTopRateIndex, true);
            Store(ch0, i, codes[0]);
            Store(ch1, i, codes[1]);
        }
        ch0.Series.Count = kSamples;
        ch1.Series.Count = kSamples;
        settings.CHSel = 2;
        graph = std::make_unique<TGraph_2CH>(panel.Box(), &ch0.Series, &panel.YLabels(),
                                             &panel.XLabels(), &settings, &ch1.Series);
    }

    static void Store(ChannelBuffer& channel, int i, std::int32_t code) {
        channel.Codes[i] = code;
        channel.Microvolts[i] = static_cast<float>(CodeToMicrovolts(code, 1));
    }

    QWidget parent;
    GraphPanel panel{parent};
    ChannelBuffer ch0;
    ChannelBuffer ch1;
    MeasureSettings settings;
    std::unique_ptr<TGraph_2CH> graph;
};

void BM_DrawAll(benchmark::State& state) {
    GraphScene scene;
    const bool fVoltMode = state.range(0) != 0;
    for (auto _ : state) {
        scene.graph->DrawAll(fVoltMode);
        benchmark::DoNotOptimize(scene.graph->Bitmap().constBits());
    }
}
BENCHMARK(BM_DrawAll)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawWindow(benchmark::State& state) {
    GraphScene scene;
    const bool fVoltMode = state.range(0) != 0;
    int first = 0;
    for (auto _ : state) {
        scene.graph->DrawWindow(fVoltMode, first, first + 99);
        first = (first + 100) % kSamples;
        benchmark::DoNotOptimize(scene.graph->Bitmap().constBits());
    }
}
BENCHMARK(BM_DrawWindow)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same background, grid and two code-mode traces through QPainter (no antialiasing),
// with the points mapped by the graph's own pixel rules.
void BM_QPainterReference(benchmark::State& state) {
    GraphScene scene;
    scene.graph->DrawAll(false);  // sets the scales the mapping uses
    QImage image = scene.graph->Bitmap().copy();
    const int w = image.width();
    const int h = image.height();
    QPolygon trace(kSamples);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::white);
        painter.setPen(QColor(128, 128, 128));
        for (int i = 0; i <= 10; ++i) {
            painter.drawLine(0, ((h - 1) * i) / 10, w - 1, ((h - 1) * i) / 10);
            painter.drawLine(((w - 1) * i) / 10, 0, ((w - 1) * i) / 10, h - 1);
        }
        const float xStep = scene.graph->AllXStep(w);
        const std::pair<const ChannelBuffer*, QColor> channels[] = {{&scene.ch0, Qt::red},
                                                                    {&scene.ch1, Qt::blue}};
        for (const auto& [channel, colour] : channels) {
            for (int i = 0; i < kSamples; ++i) {
                trace[i] = QPoint(TGraph_2CH::SampleX(i, 0, xStep),
                                  scene.graph->CodeY(channel->Codes[i], h));
            }
            painter.setPen(colour);
            painter.drawPolyline(trace);
        }
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_QPainterReference)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    return RatioReporter::RunAll(
        argc, argv,
        {{"BM_DrawAll/0", "BM_QPainterReference"}, {"BM_DrawAll/1", "BM_QPainterReference"}});
}
