// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>

#include "common/MeasureSettings.h"

// Output data rate of each rate index, in samples per second. Where the rate box shows two
// figures ("16.63sps/16.67sps"), the first belongs to Sinc5+Sinc1 and the second to Sinc3.
namespace SampleRates {

struct Rate {
    double sinc5;  // Sinc5+Sinc1
    double sinc3;
};

inline constexpr Rate kRates[kRateCount] = {
    {1.25, 1.25},  {2.5, 2.5},     {5.0, 5.0},     {10.0, 10.0},   {16.63, 16.67}, {20.01, 20.01},
    {49.68, 50.0}, {59.52, 59.98}, {100.2, 100.2}, {200.3, 200.3}, {503.8, 504.0}, {1007, 1008},
    {2597, 2604},  {5208, 5208},   {10417, 10417}, {15625, 15625}, {31250, 31250},
};

// An index outside 0..16 takes the nearest rate.
constexpr double SamplesPerSecond(int spsSel, bool fSinc5) {
    const Rate& rate = kRates[std::clamp(spsSel, 0, kRateCount - 1)];
    return fSinc5 ? rate.sinc5 : rate.sinc3;
}

constexpr double SamplesPerSecond(const MeasureSettings& settings) {
    return SamplesPerSecond(settings.spsSel, settings.fSinc5);
}

// Samples that `duration` gives at a rate (whole samples, at least 1). The small allowance keeps
// 90 s at 1.25 per second from coming out one short.
inline std::int64_t SamplesIn(std::chrono::duration<double> duration, int spsSel, bool fSinc5) {
    const double samples = duration.count() * SamplesPerSecond(spsSel, fSinc5);
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::floor(samples + 1e-6)));
}

// The rate index whose figure for the filter lies within 1 % of `samplesPerSecond` (the figures
// of one filter lie further apart than that); none for any other figure.
inline std::optional<int> IndexOf(double samplesPerSecond, bool fSinc5) {
    for (int index = 0; index < kRateCount; ++index) {
        const double figure = SamplesPerSecond(index, fSinc5);
        if (std::abs(samplesPerSecond - figure) <= 0.01 * figure) {
            return index;
        }
    }
    return std::nullopt;
}

// The index whose figure for the filter is nearest `samplesPerSecond` (an instrument's rate
// setting takes any figure in range).
inline int NearestIndex(double samplesPerSecond, bool fSinc5) {
    int nearest = 0;
    for (int index = 1; index < kRateCount; ++index) {
        if (std::abs(SamplesPerSecond(index, fSinc5) - samplesPerSecond) <
            std::abs(SamplesPerSecond(nearest, fSinc5) - samplesPerSecond)) {
            nearest = index;
        }
    }
    return nearest;
}

}  // namespace SampleRates
