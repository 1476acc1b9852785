// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "analysis/NoiseStatistics.h"
#include "measure/AcquisitionSink.h"
#include "publish/IntervalFigures.h"

// The statistics of a run in intervals, as a sink of the acquisition engine. An interval is a
// number of samples, the interval's length at the run's rate (at least one), so every interval
// averages as many samples as the next, whatever the USB latency; its start is the end of the
// one before (the first starts when the start command went out) and its end is when its last
// sample arrived, on the PC's clock. A run that ends in the middle of an interval gives that
// shorter interval too, so no sample goes unreported; its end is its last sample's arrival
// too, not the later moment the run was found over (a board silent until the time-out).
class IntervalStatistics : public AcquisitionSink {
public:
    using WallClock = std::function<std::chrono::system_clock::time_point()>;
    // Takes each interval's figures, one entry per channel; false ends the run as a failed write.
    using Listener = std::function<bool(std::span<const IntervalFigures>)>;

    IntervalStatistics(std::chrono::duration<double> interval, Listener listener,
                       WallClock wallClock = std::chrono::system_clock::now);

    // Samples in one interval of `interval` at `samplesPerSecond`.
    static std::int64_t SamplesIn(std::chrono::duration<double> interval, double samplesPerSecond);

    // The next interval's number follows `lastSeq` (a continued file's last one).
    void ContinueAfter(std::int64_t lastSeq) { nextSeq = lastSeq + 1; }
    std::int64_t SamplesPerInterval() const { return perInterval; }

    bool Begin(const AcquisitionInfo& run) override;
    bool Take(const SampleBlock& block) override;
    bool End(AcquisitionOutcome outcome) override;

private:
    // Hands the interval so far to the listener and begins the next one.
    bool Close();

    std::chrono::duration<double> length;
    Listener listener;
    WallClock wallClock;
    AcquisitionInfo info;
    std::vector<int> channels;
    std::int64_t perInterval = 1;
    std::int64_t taken = 0;  // samples of the current interval
    std::int64_t nextSeq = 1;
    std::chrono::system_clock::time_point runStart;  // the run's identity
    std::chrono::system_clock::time_point start;
    std::chrono::system_clock::time_point lastArrival;  // of the last block taken
    std::array<NoiseStatisticsSums, 2> sums;
    std::array<IntervalFigures, 2> figures;
};
