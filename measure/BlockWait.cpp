#include "BlockWait.h"

#include <algorithm>

#include "ReadyWait.h"

BlockWait BlockWait::Plan(unsigned pending, unsigned blockBytes, double bytesPerSecond,
                          const FifoReadiness& readiness) {
    if (pending >= blockBytes) {
        return {};
    }
    if (pending == 0 || bytesPerSecond <= 0.0) {
        return {readiness.fd, ReadyWait::Bounded(readiness, kLongest)};
    }
    const std::chrono::duration<double> rest((blockBytes - pending) / bytesPerSecond);
    const auto sleep = std::chrono::duration_cast<std::chrono::nanoseconds>(rest);
    return {-1, std::clamp<std::chrono::nanoseconds>(sleep, kShortest, kLongest)};
}
