// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RunView.h"

#include "graph/Graph_2ch.h"
#include "status/Mystatus.h"

RunView::RunView(Acquisition& acquisition, Measurement& measurement, NowFunction now,
                 std::function<void()> onWake)
    : engine(acquisition),
      data(measurement),
      progressReadout(
          std::move(now), [this] { ShowProgressReadout(); }, kReadoutInterval),
      wake(std::move(onWake)) {}

void RunView::Prepare(bool fDataShown) {
    fHadData = fDataShown;
    nextPlotIndex = 0;
}

void RunView::Arm() {
    wake.Arm(engine.NextWait());
}

void RunView::Disarm() {
    wake.Disarm();
    progressReadout.Cancel();
}

bool RunView::Begin(const AcquisitionInfo&) {
    if (fHadData) {
        shown->graph.DrawAxes(shown->voltMode());
    }
    shown->begun();
    return true;
}

bool RunView::Take(const SampleBlock&) {
    if (engine.Acquired() < engine.Total()) {  // the run's end shows the rest
        progressReadout.Request();
        PlotProgress();
    }
    return true;
}

bool RunView::End(AcquisitionOutcome outcome) {
    Disarm();
    shown->ended(outcome);
    return true;
}

void RunView::ShowProgressReadout() {
    const auto count = static_cast<std::int32_t>(engine.Acquired());
    const int newest = count - 1;
    if (data.Settings.CHSel == 2) {
        shown->status.ShowProgressTwo(count, data.Series(0).Codes[newest],
                                      data.Series(1).Codes[newest]);
    } else {
        shown->status.ShowProgress(count, data.Series(data.Settings.CHSel).Codes[newest]);
    }
}

void RunView::PlotProgress() {
    // Slow, long runs are drawn 100 samples at a time while they go on.
    if (data.Settings.spsSel <= 6 && data.Settings.DataCountSel >= 3 &&
        engine.Acquired() >= nextPlotIndex + 100) {
        data.ConvertRange(nextPlotIndex, nextPlotIndex + 99);
        shown->graph.DrawWindow(shown->voltMode(), nextPlotIndex, nextPlotIndex + 99);
        nextPlotIndex += 100;
    }
}
