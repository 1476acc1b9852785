// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// What the benchmark process has used so far.
namespace ProcessUsage {

// Processor time of every thread of the process, user and system, in seconds.
double CpuSeconds();
// Resident memory (VmRSS) in KiB, or -1 when it cannot be read.
long ResidentKiB();
// Times the process's threads have gone to sleep and been woken again: their voluntary
// context switches, those of the main thread as /proc/PID/status gives them and those of
// every thread (Qt's helper threads among them); -1 where they cannot be read.
struct Wakes {
    long mainThread = -1;
    long allThreads = -1;

    Wakes operator-(const Wakes& earlier) const {
        return {mainThread - earlier.mainThread, allThreads - earlier.allThreads};
    }
};
Wakes CountWakes();
// "N wakes = R wakes per second (target <= 3), all threads A per second" for `wakes` over
// `seconds`.
std::string WakesText(const Wakes& wakes, double seconds);

// What a child process used: its exit code, wall time, CPU time (user + system, wait4) and peak
// resident memory (ru_maxrss).
struct ChildUsage {
    int exitCode = -1;
    double wall = 0.0;
    double cpu = 0.0;
    double peakMiB = 0.0;
};
// Runs `arguments` (the program first) as a child, its standard output into `output` when
// given, else with standard error into /dev/null.
ChildUsage RunChild(const std::vector<std::string>& arguments, std::string* output = nullptr);

}  // namespace ProcessUsage
