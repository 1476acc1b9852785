// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/UnpacedAcquisition.h"

#include <algorithm>
#include <utility>

namespace {

// Wakes that bring nothing before the run counts as stuck; with every record due, the first
// wake of each block already finds it.
constexpr int kMaxWakes = 100000;

}  // namespace

UnpacedAcquisition::UnpacedAcquisition(BoardOptions options)
    : fifo(std::move(options), [this] { return now; }),
      adc(fifo, Timing()),
      engine(adc, [this] { return now; }) {}

LinkTiming UnpacedAcquisition::Timing() {
    return {[this] { return now; },
            [this](const FifoReadiness&, LinkTiming::Clock::duration) {
                now += std::chrono::milliseconds(1);
            }};
}

bool UnpacedAcquisition::Acquire(const RunRequest& request, std::int32_t* ch0, std::int32_t* ch1) {
    if (engine.Start(request, {&data}) != Acquisition::StartResult::Started) {
        return false;
    }
    now += std::chrono::hours(1);
    for (int wakes = 0; engine.Running() && wakes < kMaxWakes; ++wakes) {
        engine.Wake();
    }
    if (engine.Result() != AcquisitionOutcome::Complete) {
        return false;
    }
    std::ranges::copy(data.Taken(0), ch0);
    std::ranges::copy(data.Taken(1), ch1);
    return true;
}
