// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "app/FrameLimiter.h"
#include "app/RunWake.h"
#include "measure/Acquisition.h"
#include "measure/Measurement.h"

class TGraph_2CH;
class TmyStatus;

// The main window's view of its measurement run, as the engine's last sink: when the run
// begins the graph loses the old traces (its scales stay); each block updates the progress
// read-out (at most ten times a second on the board link's clock, as often as anyone can read
// it: a run at 10 samples per second or slower shows every sample at once, in the wake that
// brought it) and draws slow, long runs (rates up to about 50 sps, 1000 samples or more) 100
// samples at a time; the window hears of the end, which drops a waiting read-out so that the
// final texts are never covered. Between looks it sleeps until the board's driver announces
// data or the engine's next look is due, and then wakes the window's idle work.
class RunView : public AcquisitionSink {
public:
    struct Shown {
        TGraph_2CH& graph;
        TmyStatus& status;
        std::function<bool()> voltMode;
        std::function<void()> begun;  // after the old traces went: the data on screen let go
        std::function<void(AcquisitionOutcome)> ended;
    };
    using NowFunction = std::function<FrameLimiter::Clock::time_point()>;
    // Each read-out relays out and repaints the whole status line.
    static constexpr std::chrono::milliseconds kReadoutInterval{100};

    RunView(Acquisition& acquisition, Measurement& measurement, NowFunction now,
            std::function<void()> wake);

    // Where the run is shown, once the window has made its graph and status line.
    void ShowIn(Shown where) { shown.emplace(std::move(where)); }
    // Before a start: the data on screen, whose traces go when the run begins.
    void Prepare(bool fDataShown);
    // After every look: the engine's next sleep.
    void Arm();
    // Before the board may be closed: no descriptor watched, no late progress text.
    void Disarm();
    bool Armed() const { return wake.Armed(); }

    bool Begin(const AcquisitionInfo& run) override;
    bool Take(const SampleBlock& block) override;
    bool End(AcquisitionOutcome outcome) override;

private:
    void ShowProgressReadout();
    void PlotProgress();

    Acquisition& engine;
    Measurement& data;
    std::optional<Shown> shown;
    FrameLimiter progressReadout;
    RunWake wake;
    bool fHadData = false;
    std::int32_t nextPlotIndex = 0;
};
