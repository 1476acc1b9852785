// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <initializer_list>

#include "link/driver/FifoDriver.h"

// Sleeping until a driver announces bytes, outside any event loop.
namespace ReadyWait {

// How long to sleep: `longest`, or less when the driver's bytes are due sooner; never negative.
std::chrono::nanoseconds Bounded(const FifoReadiness& readiness, std::chrono::nanoseconds longest);

// Sleeps until one of `fds` (-1 entries are left out) is readable, reports an error or a
// hang-up, or `longest` (rounded up to whole milliseconds) has passed. A signal ends it too.
void Sleep(std::initializer_list<int> fds, std::chrono::nanoseconds longest);

}  // namespace ReadyWait
