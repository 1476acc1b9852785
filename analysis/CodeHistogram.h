// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct NoiseStatistics;

// How often each code occurs, in bins of whole codes from the smallest code up, with the
// codes between the extremes that never occur, and the Gaussian of the same mean and rms.
struct CodeHistogram {
    // Bins are one code wide unless that would take more than this many.
    static constexpr std::int64_t kMaxBins = 4096;

    std::int32_t firstCode = 0;
    std::int32_t binWidthCodes = 1;
    std::vector<std::int64_t> counts;
    // Codes between the smallest and the largest that no sample holds.
    std::int64_t missingCodes = 0;

    // Bin `bin` holds the codes firstCode + bin * binWidthCodes onward; its centre code.
    double BinCentre(std::size_t bin) const;
    // The count the Gaussian of the samples' mean and rms puts into a bin centred on `code`;
    // 0 everywhere when the rms is 0.
    double GaussianCount(double code) const;

    // `statistics` are those of the same codes.
    static CodeHistogram Compute(std::span<const std::int32_t> codes,
                                 const NoiseStatistics& statistics);

private:
    friend class CodeHistogramCounter;

    double meanCode = 0.0;
    double rmsCode = 0.0;
    std::int64_t sampleCount = 0;
};

// The histogram of codes fed in order, for a series too long to hold: the extremes come
// first (from the statistics of a first pass), then the codes, within those extremes.
class CodeHistogramCounter {
public:
    // Codes spanning more than this are counted only by CodeHistogram::Compute.
    static constexpr std::int64_t kMaxSpan = std::int64_t{1} << 24;

    // The statistics' extremes span at most kMaxSpan codes.
    explicit CodeHistogramCounter(const NoiseStatistics& statistics);
    void Add(std::span<const std::int32_t> codes);
    // Missing codes are counted only within kMaxSpan.
    CodeHistogram Result() const;
    // Codes from the smallest to the largest.
    std::int64_t Span() const { return span; }

private:
    CodeHistogram histogram;
    std::int64_t span;
    // One bit per code between the extremes: which codes occurred.
    std::vector<std::uint64_t> seen;
};
