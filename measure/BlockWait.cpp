// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/BlockWait.h"

#include <algorithm>

#include "link/ReadyWait.h"

std::chrono::milliseconds BlockWait::Longest(const FifoReadiness& readiness) {
    return readiness.Announces() ? kAnnouncedLook : kUnannouncedLook;
}

BlockWait::Sleep BlockWait::Next(unsigned pending, unsigned blockBytes, double bytesPerSecond,
                                 const FifoReadiness& readiness) {
    const bool fMoreCame = pending != lastPending;
    lastPending = pending;
    if (pending >= blockBytes) {
        return {};
    }
    const std::chrono::nanoseconds longest = Longest(readiness);
    if (pending == 0 || !fMoreCame || bytesPerSecond <= 0.0) {
        return {readiness.fd, ReadyWait::Bounded(readiness, longest)};
    }
    const std::chrono::duration<double> rest((blockBytes - pending) / bytesPerSecond);
    const auto duration = std::chrono::duration_cast<std::chrono::nanoseconds>(rest);
    return {-1, std::clamp<std::chrono::nanoseconds>(duration, kShortest, longest)};
}
