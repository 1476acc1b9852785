// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StopSignal.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
int wakeRead = -1;
int wakeWrite = -1;

void OnInterrupt(int) {
    stopRequested = 1;
    if (wakeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(wakeWrite, &byte, 1);
    }
}

}  // namespace

StopSignal::StopSignal() {
    stopRequested = 0;
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead = ends[0];
        wakeWrite = ends[1];
    }
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
}

StopSignal::~StopSignal() {
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
    if (wakeRead >= 0) {
        close(wakeRead);
        close(wakeWrite);
        wakeRead = wakeWrite = -1;
    }
}

bool StopSignal::Requested() {
    return stopRequested != 0;
}

int StopSignal::Descriptor() {
    return wakeRead;
}
