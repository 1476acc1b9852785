// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The settings that belong to the data on screen: taken from the controls when a run
// starts, written to and read from data files, put back into the controls after a load.
struct MeasureSettings {
    std::int32_t spsSel = 3;        // data-rate index 0..16 (item of the rate box)
    std::int32_t DataCountSel = 3;  // sample-count index 0..6 (100 .. 10000 samples)
    std::int32_t CHSel = 0;         // 0 = CH0, 1 = CH1, 2 = both
    std::int32_t GainSel = 0;       // only stored in and restored from files
    std::int32_t GainFactor = 1;    // divisor of the microvolt rule; never stored in files
    bool fSinc5 = true;             // true = Sinc5+Sinc1, false = Sinc3
    bool fBUF_ON = false;           // only stored in and restored from files

    friend bool operator==(const MeasureSettings&, const MeasureSettings&) = default;
};

inline constexpr int kRateCount = 17;        // items of the rate box
inline constexpr int kSampleCountCount = 7;  // items of the sample-count box
inline constexpr int kChannelChoiceCount = 3;

// Sample counts by DataCountSel.
inline constexpr std::int32_t kSampleCounts[kSampleCountCount] = {100,  200,  500,  1000,
                                                                  2000, 5000, 10000};
