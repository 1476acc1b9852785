// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// Converter codes are the AD7172's 24-bit offset-binary results held in an int32.
inline constexpr std::int32_t kMidScaleCode = 8388608;    // zero input
inline constexpr std::int32_t kFullScaleCode = 16777215;  // 2^24 - 1
inline constexpr std::int32_t kMinScaleCode = 0;

// Every channel array holds this many samples: the largest count (10000) plus one
// further block of the largest size (100).
inline constexpr int kSeriesCapacity = 10100;

// Reference voltage in microvolts and the divisor of the code rule (2^23 - 1, not 2^23).
inline constexpr double kReferenceMicrovolts = 2500000.0;
inline constexpr double kCodeDivisor = 8388607.0;
// One code step in microvolts, and the converter's whole input span (-2.5 V .. +2.5 V).
inline constexpr double kMicrovoltsPerCode = kReferenceMicrovolts / kCodeDivisor;
inline constexpr double kInputSpanMicrovolts = 2.0 * kReferenceMicrovolts;

// The code rule for a code's distance from mid-scale, whole or (for a mean of codes) not.
constexpr double OffsetToMicrovolts(double offset, std::int32_t gainFactor) {
    return offset * kReferenceMicrovolts * (1.0 / kCodeDivisor) / gainFactor;
}

// The one code-to-microvolt rule of the whole program. The subtraction is exact; the rest
// runs in double precision in this order. Callers store the result as float32.
constexpr double CodeToMicrovolts(std::int32_t code, std::int32_t gainFactor) {
    const auto offset = static_cast<std::int64_t>(code) - kMidScaleCode;
    return OffsetToMicrovolts(static_cast<double>(offset), gainFactor);
}
