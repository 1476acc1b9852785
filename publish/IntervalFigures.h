// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>

// One channel's figures over one interval of a monitor's run: what one stats message and one
// row of the CSV of intervals carry. Times are whole milliseconds of UTC.
struct IntervalFigures {
    // When the run began: a monitor started again counts seq from 1 again, so run and seq
    // together tell an interval from every other.
    std::chrono::system_clock::time_point run;
    std::int64_t seq = 0;  // the interval's number, from 1
    std::chrono::system_clock::time_point start;
    std::chrono::system_clock::time_point end;
    int channel = 0;
    std::int64_t n = 0;  // samples
    double meanMicrovolts = 0.0;
    double stdMicrovolts = 0.0;  // population standard deviation (divided by n)
    double minMicrovolts = 0.0;
    double maxMicrovolts = 0.0;
};
