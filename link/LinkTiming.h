#pragma once

#include <chrono>
#include <functional>

// How the board link measures its reply time-outs and what it does while it waits.
// The window passes its event pump; tests pass a clock that advances on each pump,
// so a 100 ms time-out costs them nothing.
struct LinkTiming {
    using Clock = std::chrono::steady_clock;

    std::function<Clock::time_point()> Now = [] { return Clock::now(); };
    // Handles the caller's pending events once; called on every pass of a wait loop.
    std::function<void()> Pump = [] {};
};
