// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>

// While an object lives, SIGINT (Ctrl-C) and SIGTERM ask for a stop as the window's stop
// button does. The handler only sets a flag, which the measurement's loop reads, and writes a
// byte to a pipe, so that a loop sleeping on Descriptor() wakes at once.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    static bool Requested();
    // Becomes readable once a stop has been asked for (-1 while no object lives).
    static int Descriptor();

private:
    struct sigaction previousInterrupt {};
    struct sigaction previousTerminate {};
};
