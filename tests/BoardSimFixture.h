// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "boardsim/BoardOptions.h"
#include "boardsim/SampleSource.h"
#include "common/Codes.h"
#include "common/SampleRates.h"
#include "link/Ad7172.h"
#include "link/driver/SimulatedFifo.h"
#include "tests/fakes/FakeClock.h"

// Samples asked of the board in one poll, by data-rate index, as a run asks for them.
inline constexpr int kSamplesPerPoll[17] = {1, 1, 1,  1,  1,  1,   1,   1,  1,
                                            2, 5, 10, 20, 50, 100, 100, 100};

// The codes a board with these options sends in its first `count` conversions.
inline std::vector<std::array<std::int32_t, 2>> ExpectedCodes(const BoardOptions& options,
                                                              int rateIndex, bool fSinc5,
                                                              int count) {
    SampleSource source(options.seed, options.ch0Microvolts, options.ch1Microvolts, options.sine);
    std::vector<std::array<std::int32_t, 2>> codes;
    for (int i = 0; i < count; ++i) {
        codes.push_back(source.NextCodes(rateIndex, fSinc5));
    }
    return codes;
}

// What the block reads of one run delivered.
struct RunResult {
    bool fFailed = false;
    int acquired = 0;        // samples in complete blocks
    int failedBlockGot = 0;  // codes stored by the failing read
    std::vector<std::int32_t> ch0 = std::vector<std::int32_t>(kSeriesCapacity);
    std::vector<std::int32_t> ch1 = std::vector<std::int32_t>(kSeriesCapacity);
};

// Reads blocks of `block` samples into the channel arrays, as a run does, until `count`
// samples are in, a read fails, or `wait` (called whenever a block is not complete yet)
// gives up.
inline RunResult ReadRun(TADC& adc, int channelSel, int count, int block,
                         const std::function<bool()>& wait) {
    RunResult run;
    while (run.acquired < count) {
        int got = 0;
        const int at = run.acquired;
        const bool fOk =
            channelSel == 2
                ? adc.ReadSamples2CH(&run.ch0[at], &run.ch1[at], block, &got)
                : adc.ReadSamples1CH(channelSel == 0 ? &run.ch0[at] : &run.ch1[at], &got, block);
        if (!fOk) {
            run.fFailed = true;
            run.failedBlockGot = got;
            break;
        }
        if (got == 0 && !wait()) {
            break;
        }
        run.acquired += got;
    }
    return run;
}

// Samples `first`..`last` - 1 of the run are those of the expected sequence, on the
// channels the run carried.
inline void ExpectSamples(const RunResult& run,
                          const std::vector<std::array<std::int32_t, 2>>& codes, int channelSel,
                          int first, int last) {
    for (int i = first; i < last; ++i) {
        if (channelSel != 1) {
            ASSERT_EQ(run.ch0[i], codes[i][0]) << "CH0 sample " << i;
        }
        if (channelSel != 0) {
            ASSERT_EQ(run.ch1[i], codes[i][1]) << "CH1 sample " << i;
        }
    }
}

// TADC over the simulated board, both on one fake clock that advances on every wait.
class SimLink {
public:
    explicit SimLink(BoardOptions options = {})
        : fifo(std::move(options), [this] { return clock.Now(); }), adc(fifo, clock.Timing()) {}

    // A wait for a run at `rateIndex`: advances the clock by a fraction of a sample period
    // and gives up after `limit` of fake time.
    std::function<bool()> FakeWait(int rateIndex, bool fSinc5, std::chrono::seconds limit) {
        const double sps = SampleRates::SamplesPerSecond(rateIndex, fSinc5);
        const auto step = std::max<std::chrono::microseconds>(
            std::chrono::milliseconds(1),
            std::chrono::microseconds(static_cast<long>(1e6 / sps / 8)));
        const auto end = clock.Now() + limit;
        return [this, step, end] {
            clock.Advance(step);
            return clock.Now() < end;
        };
    }

    FakeClock clock;
    SimulatedFifo fifo;
    TADC adc;
};
