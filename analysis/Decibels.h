// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <optional>

// 10 · log10 of a power ratio; nothing for a ratio of 0 or one that is not finite (a power
// over nothing), which no figure may show as a number.
inline std::optional<double> PowerRatioDecibels(double ratio) {
    if (!(ratio > 0.0) || !std::isfinite(ratio)) {
        return std::nullopt;
    }
    return 10.0 * std::log10(ratio);
}
