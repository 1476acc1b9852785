// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// A run of `count` samples drawn `width` pixel columns wide: column c covers the samples from
// c·count/width (rounded down) to the next column's first, so every sample lands in exactly
// one column, and a chart receives one least and one greatest code per column, however many
// samples that is.
class ChartColumns {
public:
    ChartColumns(std::int64_t count, std::int64_t width);

    std::int64_t Width() const { return width; }
    std::int64_t FirstSample(std::int64_t column) const { return column * count / width; }
    std::int64_t ColumnOf(std::int64_t sample) const {
        return ((sample + 1) * width + count - 1) / count - 1;
    }
    // The columns no further sample can change once `acquired` samples are in.
    std::int64_t Complete(std::int64_t acquired) const;
    // Least and greatest code, in pairs, of columns [first, last) of `codes` (the samples so
    // far); a column without a sample yet has none, so `codes` must reach into `last - 1`.
    std::vector<std::int32_t> Extremes(std::span<const std::int32_t> codes, std::int64_t first,
                                       std::int64_t last) const;

private:
    std::int64_t count;
    std::int64_t width;
};
