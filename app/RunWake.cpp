// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RunWake.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <optional>
#include <utility>

#include "link/ReadyWait.h"

namespace {

// Qt's timers count whole milliseconds; rounding up never wakes before the time.
int TimerMs(std::chrono::nanoseconds sleep) {
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(sleep).count());
}

}  // namespace

RunWake::RunWake(std::function<void()> wake) : onWake(std::move(wake)) {
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &RunWake::Wake);
}

RunWake::~RunWake() = default;

void RunWake::Arm(BlockWait::Sleep sleep) {
    if (sleep.fd >= 0 && (!notifier || notifier->socket() != sleep.fd)) {
        notifier = std::make_unique<QSocketNotifier>(sleep.fd, QSocketNotifier::Read);
        connect(notifier.get(), &QSocketNotifier::activated, this, &RunWake::Wake);
    }
    if (notifier) {
        notifier->setEnabled(sleep.fd >= 0);
    }
    timer.start(TimerMs(sleep.duration));
}

void RunWake::Disarm() {
    timer.stop();
    if (notifier) {
        notifier->setEnabled(false);
    }
}

bool RunWake::Armed() const {
    return timer.isActive();
}

void RunWake::Wake() {
    // The descriptor stays readable until the run takes its signal; it must not call again.
    Disarm();
    onWake();
}

LinkTiming RunWake::WindowTiming() {
    return {[] { return LinkTiming::Clock::now(); }, &RunWake::WaitInEventLoop};
}

void RunWake::WaitInEventLoop(const FifoReadiness& readiness, std::chrono::nanoseconds timeLeft) {
    std::optional<QSocketNotifier> announce;
    if (readiness.fd >= 0) {
        announce.emplace(readiness.fd, QSocketNotifier::Read);
    }
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(TimerMs(ReadyWait::Bounded(readiness, timeLeft)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
