#include "StopSignal.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnInterrupt(int) {
    stopRequested = 1;
}

}  // namespace

StopSignal::StopSignal() {
    stopRequested = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, &previous);
}

StopSignal::~StopSignal() {
    sigaction(SIGINT, &previous, nullptr);
}

bool StopSignal::Requested() {
    return stopRequested != 0;
}
