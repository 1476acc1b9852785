// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

#include "link/LinkTiming.h"
#include "link/driver/FifoDriver.h"
#include "measure/BlockWait.h"

class QSocketNotifier;

// Wakes the window's measurement run once per arming: when the board's driver signals on its
// descriptor, or when the sleep it was armed with has passed, whichever comes first. The sleep
// is the engine's NextWait (BlockWait): none while a whole block is there, until the rest of a
// part block is due, until the driver says bytes are due, and a second at the latest (100 ms
// for a driver that does not announce its bytes). Qt's timers count whole milliseconds; the
// sleep is rounded up, so a wake never comes early.
class RunWake : public QObject {
public:
    explicit RunWake(std::function<void()> onWake);
    ~RunWake() override;

    // Sleeps at most `sleep.duration`; a readable `sleep.fd` (not -1) ends the sleep early.
    void Arm(BlockWait::Sleep sleep);
    void Disarm();
    bool Armed() const;

    // The board link's timing in a window: time on the monotonic clock, and its reply waits
    // sleep in the event loop until the board answers, so the window stays alive.
    static LinkTiming WindowTiming();
    // A reply wait of the board link in the window: sleeps in the event loop until the
    // driver announces bytes, `timeLeft` has passed or any event has come, and handles what
    // came, so the window stays alive while the board answers.
    static void WaitInEventLoop(const FifoReadiness& readiness, std::chrono::nanoseconds timeLeft);

private:
    void Wake();

    std::function<void()> onWake;
    QTimer timer;
    std::unique_ptr<QSocketNotifier> notifier;  // on the descriptor last armed with
};
