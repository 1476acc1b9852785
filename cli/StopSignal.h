#pragma once

#include <csignal>

// While an object lives, SIGINT (Ctrl-C) asks for a stop as the window's stop button does.
// The handler only sets a flag; the measurement's polling loop reads it.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    static bool Requested();

private:
    struct sigaction previous {};
};
