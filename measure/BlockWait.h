// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

#include "link/driver/FifoDriver.h"

// How long a run sleeps before it looks for its next block, decided after every look from
// what has arrived of that block:
// - a whole block is there: no sleep, the next look reads it (one block per look);
// - part of it is there and more came since the last look: the rest is not due before the
//   board's pace brings it, so the run sleeps that long (at least 1 ms) and lets the driver's
//   signals pass, as a serial line signals every USB packet;
// - nothing of it, or nothing new since the last look: the run sleeps until the driver
//   announces bytes or they are due.
// A run looks at least once a second even without a signal, in case one was missed; where the
// driver does not announce its bytes at all, every 100 ms.
class BlockWait {
public:
    static constexpr std::chrono::milliseconds kAnnouncedLook{1000};
    static constexpr std::chrono::milliseconds kUnannouncedLook{100};
    static constexpr std::chrono::milliseconds kShortest{1};

    struct Sleep {
        int fd = -1;  // a readable descriptor ends the sleep early (-1: none)
        std::chrono::nanoseconds duration{0};
    };

    // The longest sleep without a look for a driver that answers `readiness`.
    static std::chrono::milliseconds Longest(const FifoReadiness& readiness);

    // `pending`: bytes of the next block received so far; `blockBytes`: the block's size;
    // `bytesPerSecond`: the board's pace.
    Sleep Next(unsigned pending, unsigned blockBytes, double bytesPerSecond,
               const FifoReadiness& readiness);

private:
    unsigned lastPending = 0;
};
