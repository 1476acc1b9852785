#pragma once

#include <chrono>
#include <functional>

#include "LinkTiming.h"

// A clock that stands still until the link pumps events; every pump advances it by one
// step and then runs `onPump`, so a test can deliver bytes "while" a wait is running.
class FakeClock {
public:
    explicit FakeClock(std::chrono::microseconds step = std::chrono::milliseconds(1))
        : stepSize(step) {}

    LinkTiming Timing() {
        return {[this] { return now; }, [this] { Pump(); }};
    }
    void Advance(std::chrono::microseconds d) { now += d; }
    LinkTiming::Clock::time_point Now() const { return now; }
    int Pumps() const { return pumps; }
    std::chrono::microseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(now - start);
    }

    std::function<void()> onPump;

private:
    void Pump() {
        ++pumps;
        now += stepSize;
        if (onPump) {
            onPump();
        }
    }

    std::chrono::microseconds stepSize;
    LinkTiming::Clock::time_point start{std::chrono::hours(1)};
    LinkTiming::Clock::time_point now{start};
    int pumps = 0;
};
