// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

// Runs an action at most once per frame (by default a display frame). A request after a quiet
// frame runs it at once; a request within a frame of the last run waits for the frame's end,
// and the requests made meanwhile merge into that one run; the action shows the newest state
// because it reads it when it runs.
class FrameLimiter : public QObject {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kFrame{16};

    // `now` is the clock frames are measured on.
    FrameLimiter(std::function<Clock::time_point()> now, std::function<void()> action,
                 Clock::duration frame = kFrame);

    void Request();
    // Drops a waiting request.
    void Cancel();

private:
    void Run();

    std::function<Clock::time_point()> now;
    std::function<void()> action;
    Clock::duration frame;
    QTimer deferred;
    Clock::time_point lastRun{};
    bool fRan = false;
};
