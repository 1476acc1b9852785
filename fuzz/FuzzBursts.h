// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

// The rest of the input as bursts: each burst's length is one byte taken from the end of
// the input, its bytes come from the front. Empty bursts are queue queries that find
// nothing new.
inline std::vector<std::string> ConsumeBursts(FuzzedDataProvider& input) {
    std::vector<std::string> bursts;
    while (input.remaining_bytes() > 0) {
        const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 255);
        bursts.push_back(input.ConsumeBytesAsString(length));
    }
    return bursts;
}

inline void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}
