// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "common/ChannelSeries.h"

// Conversion and statistics of one channel's samples, shared by the window and the
// command-line tool.
struct ChannelStatistics {
    std::int32_t MeanCode = 0;  // truncated toward zero
    float CodeStdDev = 0.0F;    // population form (divided by n)
    float MeanMicrovolts = 0.0F;
    float MicrovoltStdDev = 0.0F;

    // Microvolts[i] of samples first..last inclusive, from their codes.
    static void ConvertToMicrovolts(ChannelSeries& series, int first, int last,
                                    std::int32_t gainFactor);
    // A series with Count 0 leaves the statistics as they were.
    void ComputeCodeStatistics(const ChannelSeries& series);
    void ComputeMicrovoltStatistics(const ChannelSeries& series);
};
