// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/ProcessUsage.h"

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace ProcessUsage {

namespace {

// The number after `key` in a /proc status file, or -1.
long StatusField(const std::filesystem::path& status, const std::string& key) {
    std::ifstream file(status);
    std::string word;
    while (file >> word) {
        if (word == key) {
            long value = -1;
            file >> value;
            return value;
        }
        file.ignore(1 << 10, '\n');
    }
    return -1;
}

constexpr const char* kVoluntarySwitches = "voluntary_ctxt_switches:";

}  // namespace

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long ResidentKiB() {
    return StatusField("/proc/self/status", "VmRSS:");
}

Wakes CountWakes() {
    Wakes wakes{StatusField("/proc/self/status", kVoluntarySwitches), 0};
    std::error_code error;
    for (std::filesystem::directory_iterator task("/proc/self/task", error), end;
         !error && task != end; task.increment(error)) {
        wakes.allThreads += StatusField(task->path() / "status", kVoluntarySwitches);
    }
    return wakes;
}

std::string WakesText(const Wakes& wakes, double seconds) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "%ld wakes = %.2f wakes per second (target <= 3), all threads %.2f per second",
                  wakes.mainThread, static_cast<double>(wakes.mainThread) / seconds,
                  static_cast<double>(wakes.allThreads) / seconds);
    return text;
}

}  // namespace ProcessUsage
