// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/ProcessUsage.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

ChildUsage RunChild(const std::vector<std::string>& arguments, std::string* output) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    int ends[2] = {-1, -1};
    if (output != nullptr && ::pipe(ends) != 0) {
        return {};
    }
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(output != nullptr ? ends[1] : quiet, STDOUT_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (output != nullptr) {
        ::close(ends[1]);
        output->clear();
        char buffer[1 << 16];
        for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
            output->append(buffer, static_cast<std::size_t>(n));
        }
        ::close(ends[0]);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    ChildUsage result;
    result.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    result.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return result;
}

}  // namespace ProcessUsage
