// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>

#include "link/LinkTiming.h"

// A one-shot reply timer on a monotonic clock. It fires when a wait loop polls it after
// its interval has run out; firing disables it, so it fires once per start.
class TimeoutTimer {
public:
    explicit TimeoutTimer(std::function<LinkTiming::Clock::time_point()> now);

    void SetInterval(int ms) { intervalMs = ms; }
    int Interval() const { return intervalMs; }
    void Start();
    void Stop() { fEnabled = false; }
    bool Enabled() const { return fEnabled; }
    // True once, when the timer is running and its interval has passed.
    bool Fire();
    // Time until it fires (zero once passed), on its clock.
    LinkTiming::Clock::duration Remaining() const;

private:
    std::function<LinkTiming::Clock::time_point()> now;
    LinkTiming::Clock::time_point deadline{};
    int intervalMs = 0;
    bool fEnabled = false;
};
