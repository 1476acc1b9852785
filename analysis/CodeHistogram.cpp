// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/CodeHistogram.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <numeric>

#include "analysis/NoiseStatistics.h"

namespace {

// The share of the standard normal distribution above z, accurate far into the tail.
double UpperTail(double z) {
    return 0.5 * std::erfc(z / std::numbers::sqrt2);
}

}  // namespace

CodeHistogramCounter::CodeHistogramCounter(const NoiseStatistics& statistics) {
    const std::int64_t span = std::int64_t{statistics.maxCode} - statistics.minCode + 1;
    // The smallest whole width that needs no more than kMaxBins bins.
    const std::int64_t width = (span + CodeHistogram::kMaxBins - 1) / CodeHistogram::kMaxBins;
    histogram.firstCode = statistics.minCode;
    histogram.binWidthCodes = static_cast<std::int32_t>(width);
    histogram.counts.assign(static_cast<std::size_t>((span + width - 1) / width), 0);
    histogram.meanCode = statistics.meanCode;
    histogram.rmsCode = statistics.rmsCode;
    histogram.sampleCount = statistics.count;
    FindExpectedCodes(statistics);
    seen.assign(static_cast<std::size_t>((expectedCount + 63) / 64), 0);
}

void CodeHistogramCounter::FindExpectedCodes(const NoiseStatistics& statistics) {
    // The hits expected per code fall away from the code nearest the mean on both sides.
    const auto nearest =
        std::clamp(std::llround(statistics.meanCode), static_cast<long long>(statistics.minCode),
                   static_cast<long long>(statistics.maxCode));
    const auto fExpected = [this](std::int64_t code) {
        return histogram.ExpectedHits(code) >= CodeHistogram::kLeastExpectedHits;
    };
    if (!fExpected(nearest)) {
        return;
    }
    std::int64_t low = nearest;
    while (low > statistics.minCode && fExpected(low - 1)) {
        --low;
    }
    std::int64_t high = nearest;
    while (high < statistics.maxCode && fExpected(high + 1)) {
        ++high;
    }
    expectedFirst = low;
    expectedCount = high - low + 1;
}

void CodeHistogramCounter::Add(std::span<const std::int32_t> codes) {
    const auto width = static_cast<std::uint64_t>(histogram.binWidthCodes);
    for (const std::int32_t code : codes) {
        const auto offset = static_cast<std::uint64_t>(std::int64_t{code} - histogram.firstCode);
        ++histogram.counts[offset / width];
        const auto expected = static_cast<std::uint64_t>(code - expectedFirst);
        if (expected < static_cast<std::uint64_t>(expectedCount)) {
            seen[expected / 64] |= std::uint64_t{1} << (expected % 64);
        }
    }
}

CodeHistogram CodeHistogramCounter::Result() const {
    CodeHistogram result = histogram;
    const std::int64_t occurred = std::accumulate(
        seen.begin(), seen.end(), std::int64_t{0},
        [](std::int64_t total, std::uint64_t word) { return total + std::popcount(word); });
    result.missingCodes = expectedCount - occurred;
    return result;
}

CodeHistogram CodeHistogram::Compute(std::span<const std::int32_t> codes,
                                     const NoiseStatistics& statistics) {
    CodeHistogramCounter counter(statistics);
    counter.Add(codes);
    return counter.Result();
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

double CodeHistogram::ExpectedHits(std::int64_t code) const {
    if (rmsCode <= 0.0) {
        return 0.0;
    }
    // Measured from the mean outward, so a code far in a tail keeps its digits.
    const double distance = std::abs(static_cast<double>(code) - meanCode);
    const double farTail = UpperTail((distance + 0.5) / rmsCode);
    if (distance < 0.5) {  // the code's half-code either side holds the mean
        return static_cast<double>(sampleCount) *
               (1.0 - UpperTail((0.5 - distance) / rmsCode) - farTail);
    }
    return static_cast<double>(sampleCount) * (UpperTail((distance - 0.5) / rmsCode) - farTail);
}
