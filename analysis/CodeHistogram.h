// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct NoiseStatistics;

// How often each code occurs, in bins of whole codes from the smallest code up, with the
// missing codes, and the Gaussian of the same mean and rms.
struct CodeHistogram {
    // Bins are one code wide unless that would take more than this many.
    static constexpr std::int64_t kMaxBins = 4096;
    // A code is missing only where the Gaussian expects at least this many hits: an empty
    // code in the tails is chance, not a fault of the converter.
    static constexpr double kLeastExpectedHits = 5.0;

    std::int32_t firstCode = 0;
    std::int32_t binWidthCodes = 1;
    std::vector<std::int64_t> counts;
    // Codes between the smallest and the largest that no sample holds although the Gaussian
    // expects at least kLeastExpectedHits in them.
    std::int64_t missingCodes = 0;

    // Bin `bin` holds the codes firstCode + bin * binWidthCodes onward; its centre code.
    double BinCentre(std::size_t bin) const;
    // The count the Gaussian of the samples' mean and rms puts into a bin centred on `code`;
    // 0 everywhere when the rms is 0.
    double GaussianCount(double code) const;
    // The hits that Gaussian expects in one code: n (Φ((k + ½ − μ) / σ) − Φ((k − ½ − μ) / σ));
    // 0 when the rms is 0.
    double ExpectedHits(std::int64_t code) const;

    // `statistics` are those of the same codes.
    static CodeHistogram Compute(std::span<const std::int32_t> codes,
                                 const NoiseStatistics& statistics);

private:
    friend class CodeHistogramCounter;

    double meanCode = 0.0;
    double rmsCode = 0.0;
    std::int64_t sampleCount = 0;
};

// The histogram of codes fed in order, for a series too long to hold: the extremes, mean and
// rms come first (from the statistics of a first pass), then the codes, within those extremes.
class CodeHistogramCounter {
public:
    explicit CodeHistogramCounter(const NoiseStatistics& statistics);
    void Add(std::span<const std::int32_t> codes);
    CodeHistogram Result() const;

private:
    // The codes around the mean where the Gaussian expects kLeastExpectedHits or more; at
    // most a fifth of the sample count, so their bit map stays small.
    void FindExpectedCodes(const NoiseStatistics& statistics);

    CodeHistogram histogram;
    std::int64_t expectedFirst = 0;
    std::int64_t expectedCount = 0;
    // One bit per code of that stretch: which codes occurred.
    std::vector<std::uint64_t> seen;
};
