// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

#include "link/LinkTiming.h"

// `timing` on a clock that runs `factor` times slower than real time. The link's reply
// time-outs stay in force, but a test that talks to another process in real time gets
// `factor` times the slack, so a loaded machine that schedules it late does not fail it.
inline LinkTiming Slowed(LinkTiming timing, int factor) {
    const auto start = LinkTiming::Clock::now();
    timing.Now = [start, factor] { return start + (LinkTiming::Clock::now() - start) / factor; };
    return timing;
}
