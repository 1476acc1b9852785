// SPDX-License-Identifier: GPL-3.0-or-later
// The graph keeps its picture between drawings and puts the grid back only where traces were:
// every drawing must still equal the same drawing made whole, on the picture and on the screen.
#include <gtest/gtest.h>

#include <QEvent>
#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>
#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "charts/GraphPanel.h"
#include "charts/PaintBox.h"
#include "common/Codes.h"
#include "graph/Graph_2ch.h"
#include "tests/WholeGraphPicture.h"
#include "tests/fakes/TestApplication.h"

namespace {

// The graph on a shown form, so that its drawings reach the screen.
struct ShownGraph {
    ShownGraph() {
        form.resize(1000, 600);  // room for the largest box below
        graph = std::make_unique<TGraph_2CH>(panel.Box(), &ch0.Series, &panel.YLabels(),
                                             &panel.XLabels(), &settings, &ch1.Series);
        panel.Box()->OnPaint = [this](QPainter& painter) { graph->PaintToScreen(painter); };
        form.show();
        QApplication::processEvents();
    }
    // The picture against the whole drawing, and what the screen shows against the picture.
    void Check(bool fVoltMode, GraphTraces traces, const std::string& what) {
        const QImage whole =
            WholeGraphPicture(*graph, ch0.Series, ch1.Series, settings.CHSel, fVoltMode, traces);
        EXPECT_EQ(DifferingPixels(graph->Bitmap(), whole), 0) << what;
        const QImage shown = ShownPicture(*panel.Box(), graph->DestinationRect());
        EXPECT_EQ(DifferingPixels(shown, graph->Bitmap()), 0) << what << " on the screen";
    }

    QApplication& application = TestApplication();
    QWidget form;
    GraphPanel panel{form};
    ChannelBuffer ch0;
    ChannelBuffer ch1;
    MeasureSettings settings;
    std::unique_ptr<TGraph_2CH> graph;
};

// Samples of the kinds a picture meets: a few codes of noise, wide noise, a sine over much of
// the range, codes all below zero or above full scale (off the scale: the lines are cut), and
// single samples jumping to the ends of the range.
void FillChannel(ChannelBuffer& channel, int count, int kind, std::mt19937& random) {
    std::normal_distribution<double> noise(0.0, kind == 0 ? 3.0 : 3000.0);
    const auto centre = static_cast<std::int32_t>(kMidScaleCode + random() % 2000000);
    for (int i = 0; i < kSeriesCapacity; ++i) {
        std::int32_t code = centre + static_cast<std::int32_t>(noise(random));
        if (kind == 2) {
            code += static_cast<std::int32_t>(3.0e6 * std::sin(i * 0.01));
        } else if (kind == 3) {
            code = -5000 - static_cast<std::int32_t>(random() % 50);
        } else if (kind == 4) {
            code = kFullScaleCode + 100 + static_cast<std::int32_t>(random() % 50);
        } else if (kind == 5 && i % 97 == 0) {
            code = i % 2 == 0 ? 0 : kFullScaleCode;
        }
        channel.Codes[i] = code;
        channel.Microvolts[i] = static_cast<float>(CodeToMicrovolts(code, 1));
    }
    channel.Series.Count = count;
}

TEST(GraphKeptPicture, EveryDrawingEqualsTheSameDrawingMadeWhole) {
    ShownGraph g;
    std::mt19937 random(20240611);
    const int counts[] = {0, 9, 10, 100, 1000, 10000, kSeriesCapacity};
    int step = 0;
    for (const QSize box : {QSize(560, 369), QSize(300, 200), QSize(901, 517)}) {
        g.panel.Box()->resize(box);
        g.graph->UpdateSize();
        for (int round = 0; round < 30; ++round, ++step) {
            const bool fVolt = random() % 2 == 0;
            g.settings.CHSel = static_cast<std::int32_t>(random() % 3);
            const int count = counts[random() % std::size(counts)];
            const std::string what = "step " + std::to_string(step);
            FillChannel(g.ch0, g.settings.CHSel != 1 ? count : 0, static_cast<int>(random() % 6),
                        random);
            FillChannel(g.ch1, g.settings.CHSel != 0 ? count : 0, static_cast<int>(random() % 6),
                        random);
            switch (random() % 4) {
                case 0:
                    g.graph->DrawEmpty(fVolt);
                    g.Check(fVolt, {}, what + " empty");
                    break;
                case 1:
                    g.graph->DrawAll(fVolt);
                    g.Check(fVolt, {GraphTraces::Kind::All}, what + " all");
                    g.graph->DrawAxes(!fVolt);
                    g.Check(!fVolt, {}, what + " axes");
                    break;
                case 2: {
                    // A run: its windows of 100 while the counts are still 0, then all of it.
                    const int total = g.ch0.Series.Count + g.ch1.Series.Count;
                    g.ch0.Series.Count = g.ch1.Series.Count = 0;
                    for (int first = 0; first + 99 < 1000; first += 100) {
                        g.graph->DrawWindow(fVolt, first, first + 99);
                        g.Check(fVolt, {GraphTraces::Kind::Window, first, first + 99},
                                what + " window " + std::to_string(first));
                    }
                    g.ch0.Series.Count = g.settings.CHSel != 1 && total > 0 ? 1000 : 0;
                    g.ch1.Series.Count = g.settings.CHSel != 0 && total > 0 ? 1000 : 0;
                    g.graph->DrawAll(fVolt);
                    g.Check(fVolt, {GraphTraces::Kind::All}, what + " after the run");
                    break;
                }
                default:
                    g.graph->DrawAll(fVolt);
                    g.Check(fVolt, {GraphTraces::Kind::All}, what + " all");
                    break;
            }
        }
    }
}

// Paint events of the paint box, as the region each one covers.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget& box) { box.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
    QRegion painted;
};

TEST(GraphKeptPicture, ADrawingShowsAgainOnlyTheRowsThatChanged) {
    ShownGraph g;
    // Codes alternating between two neighbours: a window scale of 10 codes puts the trace on
    // rows 146 to 183 whatever the level, so one window after another changes those rows only.
    for (int i = 0; i < 200; ++i) {
        g.ch0.Codes[i] = kMidScaleCode + 1000 * (i / 100) + i % 2;
    }
    g.graph->DrawWindow(false, 0, 99);
    g.Check(false, {GraphTraces::Kind::Window, 0, 99}, "first window");
    PaintWatch watch(*g.panel.Box());
    g.graph->DrawWindow(false, 100, 199);
    g.Check(false, {GraphTraces::Kind::Window, 100, 199}, "second window");
    const QRect rows = watch.painted.boundingRect();
    EXPECT_EQ(rows.top(), 1 + 146);
    EXPECT_EQ(rows.bottom(), 1 + 183);
    EXPECT_EQ(rows.width(), 558);
}

// A drawing of all samples lets the window handle its events between the grid and the traces;
// one made there (the operator switching the unit, say) leaves traces the waiting drawing does
// not cover. The next drawing must still take them all away.
TEST(GraphKeptPicture, ADrawingMadeWhileAnotherWaitsLeavesNothingBehind) {
    ShownGraph g;
    const auto fill = [&](bool fWide) {
        for (int i = 0; i < 1000; ++i) {
            g.ch0.Codes[i] =
                kMidScaleCode +
                (fWide ? static_cast<std::int32_t>(3.0e6 * std::sin(i * 0.01)) : i % 2);
        }
    };
    g.ch0.Series.Count = 1000;
    fill(false);  // two neighbouring codes: a narrow band of rows
    QMetaObject::invokeMethod(
        &g.form,
        [&] {
            fill(true);  // a sine over most of the height
            g.graph->DrawAll(false);
            fill(false);
        },
        Qt::QueuedConnection);
    g.graph->DrawAll(false);
    g.graph->DrawAll(false);
    g.Check(false, {GraphTraces::Kind::All}, "the drawing after");
}

}  // namespace
