// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/Program.h"
#include "app/Selkoran_main.h"
#include "charts/PaintBox.h"
#include "link/LinkTiming.h"
#include "link/driver/SimulatedFifo.h"
#include "status/Mystatus.h"
#include "tests/fakes/FakePrompts.h"
#include "tests/fakes/ForwardingFifo.h"
#include "tests/fakes/TestApplication.h"

// The simulated board on a clock that moves only when the test or a wait moves it, with
// every byte the program writes recorded.
class TestBoard : public ForwardingFifo {
public:
    explicit TestBoard(BoardOptions options = {})
        : fifo(std::move(options), [this] { return now; }) {}

    LinkTiming Timing() {
        return {[this] { return now; },
                [this](const FifoReadiness&, LinkTiming::Clock::duration) {
                    now += std::chrono::milliseconds(1);
                }};
    }
    void Advance(std::chrono::milliseconds d) { now += d; }

    FifoStatus Write(FifoHandle h, const void* b, unsigned n, unsigned* written) override {
        wire.append(static_cast<const char*>(b), n);
        return fifo.Write(h, b, n, written);
    }

private:
    FifoDriver& Inner() override { return fifo; }
    LinkTiming::Clock::time_point now{std::chrono::hours(1)};

public:
    std::string wire;  // every byte written, commands separated by their CRs
    SimulatedFifo fifo;
};

// A window on the test board with recorded prompts, past its first idle call.
struct WindowFixture {
    explicit WindowFixture(BoardOptions options = {}) : board(std::move(options)) {
        TestApplication();
        program = std::make_unique<Program>(board, prompts, board.Timing());
        window = &program->Window();
        window->show();
        window->IdleHandler();
    }

    QString Panel(int index) const { return TmyStatus::Panel(*window->StatusBar1, index)->text(); }

    // Looks for blocks as the run's wakes would, letting the board's clock run, until the run ends
    // or `limit` of board time has passed.
    void RunUntilIdle(std::chrono::milliseconds step = std::chrono::milliseconds(5),
                      std::chrono::seconds limit = std::chrono::seconds(2000)) {
        for (auto t = std::chrono::milliseconds(0); window->Measuring() && t < limit; t += step) {
            board.Advance(step);
            window->IdleHandler();
        }
    }

    // Measures 100 samples on `channel` (2: both) at the fastest rate, to the end.
    void Measure(int channel) {
        window->ComboBox1->setCurrentIndex(16);
        window->ComboBox2->setCurrentIndex(0);
        window->ComboBox3->setCurrentIndex(channel);
        window->MeasureBtn->click();
        RunUntilIdle();
        ASSERT_FALSE(window->Measuring());
    }

    FakePrompts prompts;
    TestBoard board;
    std::unique_ptr<Program> program;
    TFormMain* window = nullptr;
};
