// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/TimeoutTimer.h"

#include <algorithm>
#include <utility>

TimeoutTimer::TimeoutTimer(std::function<LinkTiming::Clock::time_point()> nowFn)
    : now(std::move(nowFn)) {}

void TimeoutTimer::Start() {
    deadline = now() + std::chrono::milliseconds(intervalMs);
    fEnabled = true;
}

bool TimeoutTimer::Fire() {
    if (!fEnabled || now() < deadline) {
        return false;
    }
    fEnabled = false;
    return true;
}

LinkTiming::Clock::duration TimeoutTimer::Remaining() const {
    return std::max(deadline - now(), LinkTiming::Clock::duration::zero());
}
