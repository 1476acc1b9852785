// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/IntervalStatistics.h"

#include <algorithm>
#include <cmath>

#include "common/Codes.h"
#include "record/RecordingFormat.h"

IntervalStatistics::IntervalStatistics(std::chrono::duration<double> interval, Listener takes,
                                       WallClock clock)
    : length(interval), listener(std::move(takes)), wallClock(std::move(clock)) {}

std::int64_t IntervalStatistics::SamplesIn(std::chrono::duration<double> interval,
                                           double samplesPerSecond) {
    return std::max<std::int64_t>(1, std::llround(interval.count() * samplesPerSecond));
}

bool IntervalStatistics::Begin(const AcquisitionInfo& run) {
    info = run;
    channels = RecordingFormat::ChannelsOf(run.settings.CHSel);
    perInterval = SamplesIn(length, run.SampleRate());
    taken = 0;
    sums = {};
    start = std::chrono::floor<std::chrono::milliseconds>(run.start);
    runStart = start;
    lastArrival = start;
    return true;
}

bool IntervalStatistics::Take(const SampleBlock& block) {
    lastArrival = std::chrono::floor<std::chrono::milliseconds>(wallClock());
    const std::array<std::span<const std::int32_t>, 2> codes{block.ch0, block.ch1};
    std::size_t offset = 0;
    while (offset < block.Size()) {
        const auto part =
            std::min(block.Size() - offset, static_cast<std::size_t>(perInterval - taken));
        for (const int channel : channels) {
            sums[static_cast<std::size_t>(channel)].Add(codes[channel].subspan(offset, part));
        }
        offset += part;
        taken += static_cast<std::int64_t>(part);
        if (taken == perInterval && !Close()) {
            return false;
        }
    }
    return true;
}

bool IntervalStatistics::End(AcquisitionOutcome) {
    return taken == 0 || Close();
}

bool IntervalStatistics::Close() {
    const std::int32_t gain = info.settings.GainFactor;
    std::size_t count = 0;
    for (const int channel : channels) {
        const NoiseStatistics s = sums[static_cast<std::size_t>(channel)].Result(info.SampleRate());
        figures[count++] = {runStart,
                            nextSeq,
                            start,
                            lastArrival,
                            channel,
                            s.count,
                            s.meanMicrovolts,
                            s.rmsMicrovolts,
                            CodeToMicrovolts(s.minCode, gain),
                            CodeToMicrovolts(s.maxCode, gain)};
    }
    ++nextSeq;
    taken = 0;
    sums = {};
    start = lastArrival;
    return listener(std::span(figures).first(count));
}
