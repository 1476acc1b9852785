// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "common/ChannelSeries.h"

// Conversion and statistics of one channel's samples, shared by the window and the
// command-line tool. Every figure comes from the codes in double precision; the microvolt
// array (single precision) serves drawing only.
struct ChannelStatistics {
    std::int32_t MeanCode = 0;     // truncated toward zero, as the data file and read-out keep it
    double CodeStdDev = 0.0;       // around the exact mean, population form (divided by n)
    double MeanMicrovolts = 0.0;   // of the exact mean
    double MicrovoltStdDev = 0.0;  // population form

    // Microvolts[i] of samples first..last inclusive, from their codes.
    static void ConvertToMicrovolts(ChannelSeries& series, int first, int last,
                                    std::int32_t gainFactor);
    // A series with Count 0 leaves the statistics as they were.
    void Compute(const ChannelSeries& series, std::int32_t gainFactor);
};
