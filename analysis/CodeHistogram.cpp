// SPDX-License-Identifier: GPL-3.0-or-later
#include "CodeHistogram.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <numeric>

#include "NoiseStatistics.h"

namespace {

// Codes of a wider span than one bit map covers (hand-edited files) are told apart on a
// sorted copy.
std::int64_t DistinctCodesSorted(std::span<const std::int32_t> codes) {
    std::vector<std::int32_t> sorted(codes.begin(), codes.end());
    std::sort(sorted.begin(), sorted.end());
    return std::unique(sorted.begin(), sorted.end()) - sorted.begin();
}

}  // namespace

CodeHistogramCounter::CodeHistogramCounter(const NoiseStatistics& statistics)
    : span(std::int64_t{statistics.maxCode} - statistics.minCode + 1) {
    // The smallest whole width that needs no more than kMaxBins bins.
    const std::int64_t width = (span + CodeHistogram::kMaxBins - 1) / CodeHistogram::kMaxBins;
    histogram.firstCode = statistics.minCode;
    histogram.binWidthCodes = static_cast<std::int32_t>(width);
    histogram.counts.assign(static_cast<std::size_t>((span + width - 1) / width), 0);
    histogram.meanCode = statistics.meanCode;
    histogram.rmsCode = statistics.rmsCode;
    histogram.sampleCount = statistics.count;
    if (span <= kMaxSpan) {
        seen.assign(static_cast<std::size_t>((span + 63) / 64), 0);
    }
}

void CodeHistogramCounter::Add(std::span<const std::int32_t> codes) {
    for (const std::int32_t code : codes) {
        const auto offset = static_cast<std::uint64_t>(std::int64_t{code} - histogram.firstCode);
        ++histogram.counts[offset / static_cast<std::uint64_t>(histogram.binWidthCodes)];
        if (!seen.empty()) {
            seen[offset / 64] |= std::uint64_t{1} << (offset % 64);
        }
    }
}

CodeHistogram CodeHistogramCounter::Result() const {
    CodeHistogram result = histogram;
    const std::int64_t distinct = std::accumulate(
        seen.begin(), seen.end(), std::int64_t{0},
        [](std::int64_t total, std::uint64_t word) { return total + std::popcount(word); });
    result.missingCodes = span - distinct;
    return result;
}

CodeHistogram CodeHistogram::Compute(std::span<const std::int32_t> codes,
                                     const NoiseStatistics& statistics) {
    CodeHistogramCounter counter(statistics);
    counter.Add(codes);
    CodeHistogram histogram = counter.Result();
    if (counter.Span() > CodeHistogramCounter::kMaxSpan) {
        histogram.missingCodes = counter.Span() - DistinctCodesSorted(codes);
    }
    return histogram;
}

double CodeHistogram::BinCentre(std::size_t bin) const {
    return firstCode + static_cast<double>(bin) * binWidthCodes + (binWidthCodes - 1) / 2.0;
}

double CodeHistogram::GaussianCount(double code) const {
    if (rmsCode <= 0.0) {
        return 0.0;
    }
    const double z = (code - meanCode) / rmsCode;
    const double density = std::exp(-0.5 * z * z) / (rmsCode * std::sqrt(2.0 * std::numbers::pi));
    return static_cast<double>(sampleCount) * binWidthCodes * density;
}
