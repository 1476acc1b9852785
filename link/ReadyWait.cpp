// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ReadyWait.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <climits>

namespace ReadyWait {

std::chrono::nanoseconds Bounded(const FifoReadiness& readiness, std::chrono::nanoseconds longest) {
    auto wait = longest;
    if (readiness.due) {
        wait =
            std::min<std::chrono::nanoseconds>(wait, *readiness.due - FifoReadiness::Clock::now());
    }
    return std::max(wait, std::chrono::nanoseconds::zero());
}

void Sleep(std::initializer_list<int> fds, std::chrono::nanoseconds longest) {
    std::array<pollfd, 4> watched{};
    nfds_t count = 0;
    for (const int fd : fds) {
        if (fd >= 0 && count < watched.size()) {
            watched[count++] = {fd, POLLIN, 0};
        }
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(longest).count();
    ::poll(watched.data(), count, static_cast<int>(std::min<long long>(ms, INT_MAX)));
}

}  // namespace ReadyWait
