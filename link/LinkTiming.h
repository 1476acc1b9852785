// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>

#include "link/ReadyWait.h"
#include "link/driver/FifoDriver.h"

// How the board link measures its reply time-outs and how it sleeps while a reply is on its
// way. By default it sleeps in poll() until the driver announces bytes; the window sleeps in
// its event loop, so that its events are handled meanwhile; tests pass a clock that advances
// on each wait, so a 100 ms time-out costs them nothing.
struct LinkTiming {
    using Clock = std::chrono::steady_clock;

    std::function<Clock::time_point()> Now = [] { return Clock::now(); };
    // Sleeps until the driver announces bytes or `timeLeft` has passed. `timeLeft` is measured
    // on Now's clock, which may run at another pace than the steady one: a wait may end early,
    // and the link then reads its clock again.
    std::function<void(const FifoReadiness& readiness, Clock::duration timeLeft)> Wait =
        [](const FifoReadiness& readiness, Clock::duration timeLeft) {
            ReadyWait::Sleep({readiness.fd}, ReadyWait::Bounded(readiness, timeLeft));
        };
};
