// SPDX-License-Identifier: GPL-3.0-or-later
// The graph during and after the window's runs: at every moment the window draws, its picture
// equals the same drawing made whole from the same samples, and the screen shows that picture.
#include <gtest/gtest.h>

#include <string>

#include "tests/AppTestSupport.h"
#include "tests/WholeGraphPicture.h"

using namespace std::chrono_literals;

namespace {

struct PictureRun : WindowFixture {
    PictureRun(int rate, int count, int channel, bool fVolt) : fVoltMode(fVolt) {
        window->ComboBox1->setCurrentIndex(rate);
        window->ComboBox2->setCurrentIndex(count);
        window->ComboBox3->setCurrentIndex(channel);
        if (fVolt) {
            window->MenuY_Volt->trigger();
        }
        QApplication::processEvents();  // shown and painted once
        lastKey = window->GraphObject()->Bitmap().cacheKey();
    }

    // Compares once the graph has drawn again (its picture changed).
    void CheckIfDrawn(GraphTraces traces, const std::string& what) {
        const TGraph_2CH& graph = *window->GraphObject();
        if (graph.Bitmap().cacheKey() == lastKey) {
            return;
        }
        lastKey = graph.Bitmap().cacheKey();
        ++drawings;
        const QImage whole =
            WholeGraphPicture(graph, window->Series(0), window->Series(1),
                              window->ComboBox3->currentIndex(), fVoltMode, traces);
        EXPECT_EQ(DifferingPixels(graph.Bitmap(), whole), 0) << what;
        const QImage shown = ShownPicture(*window->PaintBox1, graph.DestinationRect());
        EXPECT_EQ(DifferingPixels(shown, graph.Bitmap()), 0) << what << " on the screen";
    }

    // A run from the click to its end, looking every `step` of the board's clock: the click
    // takes the old traces away, a run draws windows (the X labels name them), its end all of
    // its samples. Returns the drawings seen.
    int Run(std::chrono::milliseconds step) {
        drawings = 0;
        window->MeasureBtn->click();
        CheckIfDrawn({}, "start");
        while (window->Measuring()) {
            board.Advance(step);
            window->IdleHandler();
            if (window->Measuring()) {
                const int first = window->Label15->text().toInt() - 1;
                const int last = window->Label16->text().toInt() - 1;
                CheckIfDrawn({GraphTraces::Kind::Window, first, last},
                             "window " + std::to_string(first));
            }
        }
        CheckIfDrawn({GraphTraces::Kind::All}, "end");
        return drawings;
    }

    bool fVoltMode;
    qint64 lastKey = 0;
    int drawings = 0;
};

// Two runs in a row in each case: the second begins with the first one's samples on screen.
TEST(AppRunPicture, EveryPictureOfARunEqualsTheWholeDrawing) {
    struct Case {
        const char* name;
        int rate;
        int count;
        std::chrono::milliseconds step;
        int drawingsOfARun;  // the second run's, with the old traces taken away first
    };
    const Case cases[] = {
        // The last hundred come with the end, which draws all.
        {"50 sps, 1000 samples: nine windows of 100, then all", 6, 3, 20ms, 1 + 9 + 1},
        {"31250 sps, 10000 samples: all at the end", 16, 6, 5ms, 1 + 1},
    };
    for (const Case& c : cases) {
        for (int channel = 0; channel < 3; ++channel) {
            for (const bool fVolt : {false, true}) {
                SCOPED_TRACE(std::string(c.name) + ", channels " + std::to_string(channel) +
                             (fVolt ? ", microvolts" : ", codes"));
                PictureRun run(c.rate, c.count, channel, fVolt);
                run.Run(c.step);
                EXPECT_EQ(run.Run(c.step), c.drawingsOfARun);
                EXPECT_EQ(run.window->Series(channel == 1 ? 1 : 0).Count, kSampleCounts[c.count]);
            }
        }
    }
}

}  // namespace
