#include "CodeHistogram.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "NoiseStatistics.h"

namespace {

// Every code the converter can give fits one bit map of 2 MB; wider spans (hand-edited files)
// are counted on a sorted copy instead.
constexpr std::int64_t kBitMapCodes = std::int64_t{1} << 24;

std::int64_t DistinctCodes(std::span<const std::int32_t> codes, std::int32_t first,
                           std::int64_t span) {
    if (span <= kBitMapCodes) {
        std::vector<std::uint64_t> seen(static_cast<std::size_t>((span + 63) / 64));
        for (const std::int32_t code : codes) {
            const auto offset = static_cast<std::uint64_t>(std::int64_t{code} - first);
            seen[offset / 64] |= std::uint64_t{1} << (offset % 64);
        }
        std::int64_t distinct = 0;
        for (const std::uint64_t word : seen) {
            distinct += std::popcount(word);
        }
        return distinct;
    }
    std::vector<std::int32_t> sorted(codes.begin(), codes.end());
    std::sort(sorted.begin(), sorted.end());
    return std::unique(sorted.begin(), sorted.end()) - sorted.begin();
}

}  // namespace

CodeHistogram CodeHistogram::Compute(std::span<const std::int32_t> codes,
                                     const NoiseStatistics& statistics) {
    CodeHistogram histogram;
    const std::int64_t span = std::int64_t{statistics.maxCode} - statistics.minCode + 1;
    // The smallest whole width that needs no more than kMaxBins bins.
    const std::int64_t width = (span + kMaxBins - 1) / kMaxBins;
    histogram.firstCode = statistics.minCode;
    histogram.binWidthCodes = static_cast<std::int32_t>(width);
    histogram.counts.assign(static_cast<std::size_t>((span + width - 1) / width), 0);
    for (const std::int32_t code : codes) {
        ++histogram
              .counts[static_cast<std::size_t>((std::int64_t{code} - statistics.minCode) / width)];
    }
    histogram.missingCodes = span - DistinctCodes(codes, statistics.minCode, span);
    histogram.meanCode = statistics.meanCode;
    histogram.rmsCode = statistics.rmsCode;
    histogram.sampleCount = statistics.count;
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
