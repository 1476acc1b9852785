// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>

#include "link/LinkTiming.h"

// A clock that stands still until the link waits; every wait advances it by one step and
// then runs `onWait`, so a test can deliver bytes "while" a wait is running.
class FakeClock {
public:
    explicit FakeClock(std::chrono::microseconds step = std::chrono::milliseconds(1))
        : stepSize(step) {}

    LinkTiming Timing() {
        return {[this] { return now; },
                [this](const FifoReadiness&, LinkTiming::Clock::duration) { Wait(); }};
    }
    void Advance(std::chrono::microseconds d) { now += d; }
    LinkTiming::Clock::time_point Now() const { return now; }
    int Waits() const { return waits; }
    std::chrono::microseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(now - start);
    }

    std::function<void()> onWait;

private:
    void Wait() {
        ++waits;
        now += stepSize;
        if (onWait) {
            onWait();
        }
    }

    std::chrono::microseconds stepSize;
    LinkTiming::Clock::time_point start{std::chrono::hours(1)};
    LinkTiming::Clock::time_point now{start};
    int waits = 0;
};
