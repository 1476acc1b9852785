// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "common/MeasureSettings.h"
#include "measure/ReadingMath.h"
#include "measure/Readings.h"
#include "measure/RunRequest.h"

// The instrument's settings, which all connections share, *RST sets back and *SAV and *RCL keep:
// the run's (rate, filter, channels, count), the trigger source, the readings' aperture in line
// cycles and each channel's null, scale and limits.
struct ScpiSetup {
    static constexpr std::int64_t kDefaultCount = 1000;

    // 31250 samples per second, Sinc5+Sinc1: also what readings over line cycles are measured
    // at unless the rate or filter is set. The time-out follows from the rate at each start.
    RunRequest run{.settings = {.spsSel = kRateCount - 1}, .count = kDefaultCount};
    bool fBusTrigger = false;
    ReadingAperture aperture;
    std::array<ReadingMath, 2> math;  // CH0's, CH1's
};
