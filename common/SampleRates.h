// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>

#include "MeasureSettings.h"

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

}  // namespace SampleRates
