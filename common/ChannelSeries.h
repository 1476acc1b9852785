// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

#include "common/Codes.h"

// One channel's samples. The arrays belong to their owner (the window keeps them as fixed
// members); the series only points at them, so nothing is allocated per run.
struct ChannelSeries {
    std::int32_t Count = 0;         // valid samples, at most kSeriesCapacity
    std::int32_t* Codes = nullptr;  // kSeriesCapacity converter codes
    float* Microvolts = nullptr;    // the same samples in microvolts
};

// Fixed arrays of one channel together with the series that points at them.
// Not copyable: the series points into the object itself.
struct ChannelBuffer {
    ChannelBuffer() : Series{0, Codes.data(), Microvolts.data()} {}
    ChannelBuffer(const ChannelBuffer&) = delete;
    ChannelBuffer& operator=(const ChannelBuffer&) = delete;

    std::array<std::int32_t, kSeriesCapacity> Codes{};
    std::array<float, kSeriesCapacity> Microvolts{};
    ChannelSeries Series;
};
