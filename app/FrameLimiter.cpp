// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FrameLimiter.h"

#include <utility>

FrameLimiter::FrameLimiter(std::function<Clock::time_point()> nowFunction,
                           std::function<void()> frameAction, Clock::duration frameLength)
    : now(std::move(nowFunction)), action(std::move(frameAction)), frame(frameLength) {
    deferred.setSingleShot(true);
    deferred.setTimerType(Qt::PreciseTimer);
    connect(&deferred, &QTimer::timeout, this, &FrameLimiter::Run);
}

void FrameLimiter::Request() {
    const Clock::duration since = now() - lastRun;
    if (!fRan || since >= frame) {
        Run();
    } else if (!deferred.isActive()) {
        deferred.start(
            static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(frame - since).count()));
    }
}

void FrameLimiter::Cancel() {
    deferred.stop();
}

void FrameLimiter::Run() {
    deferred.stop();
    lastRun = now();
    fRan = true;
    action();
}
