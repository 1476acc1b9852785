// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "common/MeasureSettings.h"
#include "common/SampleRates.h"

// What a run is measured with, as its sinks learn it: the settings, the count asked for, the
// board that measures and when the first start command went out.
struct AcquisitionInfo {
    // The count of a run that goes on until it is stopped (a monitor's).
    static constexpr std::int64_t kWithoutEnd = std::numeric_limits<std::int64_t>::max();

    MeasureSettings settings;
    std::int64_t count = 0;  // samples per channel
    std::string boardName;
    std::string boardVersion;
    std::chrono::system_clock::time_point start;
    std::string serial;  // the USB serial number of the board's chip, where the driver knows it

    double SampleRate() const { return SampleRates::SamplesPerSecond(settings); }
    bool Endless() const { return count == kWithoutEnd; }
    bool Measures(int channel) const {
        return channel == 0 ? settings.CHSel != 1 : settings.CHSel != 0;
    }
};

// The samples of one block as they arrive; a channel not measured has an empty span.
struct SampleBlock {
    std::int64_t firstSample = 0;  // from 0
    std::span<const std::int32_t> ch0;
    std::span<const std::int32_t> ch1;
    std::chrono::steady_clock::time_point arrived;

    std::size_t Size() const { return ch0.empty() ? ch1.size() : ch0.size(); }
};

// How a run ended.
enum class AcquisitionOutcome { None, Complete, Stopped, TimedOut, ReadFailed, WriteFailed };

// One use of a run's samples: the measurement in memory, a recording file, a chart's envelope,
// interval statistics, a front end watching the progress. The engine calls every attached sink
// in the order of attachment; a sink that fails ends the run as a failed write.
class AcquisitionSink {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~AcquisitionSink() = default;

    // Before the board is contacted: false refuses the start (an output that cannot be made).
    virtual bool Check() { return true; }
    // After identification, before the board is configured (`run.start` not yet known): make
    // what the run needs; false refuses the start.
    virtual bool Open(const AcquisitionInfo& run) {
        static_cast<void>(run);
        return true;
    }
    // The board refused the configuration after Open: undo it.
    virtual void Discard() {}
    // The first start command has gone out.
    virtual bool Begin(const AcquisitionInfo& run) = 0;
    virtual bool Take(const SampleBlock& block) = 0;
    // A further start command went out; its first sample is `firstSample`.
    virtual bool Restart(std::int64_t firstSample, std::chrono::system_clock::time_point time) {
        static_cast<void>(firstSample);
        static_cast<void>(time);
        return true;
    }
    // Work that falls due by time (a file's flush and sync); false once it failed.
    virtual bool Tick(Clock::time_point now) {
        static_cast<void>(now);
        return true;
    }
    // When Tick has something to do at the latest; max() when nothing waits.
    virtual Clock::time_point NextDeadline() const { return Clock::time_point::max(); }
    // The run is over; false when what the sink keeps could not be completed.
    virtual bool End(AcquisitionOutcome outcome) = 0;
};
