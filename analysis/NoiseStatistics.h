// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>

// The figures of one channel's codes that need no spectrum: level, noise, resolution and
// drift. Microvolts follow the program's code rule, kept in double precision.
struct NoiseStatistics {
    std::int64_t count = 0;
    std::int32_t minCode = 0;
    std::int32_t maxCode = 0;
    double meanCode = 0.0;
    double rmsCode = 0.0;  // population standard deviation (divided by the count)
    double meanMicrovolts = 0.0;
    double rmsMicrovolts = 0.0;
    double peakToPeakMicrovolts = 0.0;
    // log2 of the 5 V input span over the rms / over the peak-to-peak value, at most the
    // converter's 24 bits: more would say the noise is below one code, which the codes
    // cannot show (a noise of 0 included).
    double effectiveResolutionBits = 0.0;
    double noiseFreeResolutionBits = 0.0;
    // The rms is below one code, so the effective resolution is the converter's, not the
    // noise's (and so is the noise-free one when the peak-to-peak value is 0).
    bool fResolutionLimitedByCode = false;
    // Least-squares slope of the microvolts against time.
    double driftMicrovoltsPerSecond = 0.0;

    // `codes` holds at least two samples.
    static NoiseStatistics Compute(std::span<const std::int32_t> codes, double sampleRate);
};

// The sums behind the statistics, taken over codes fed in order, so a series too long to
// hold gives its figures in one pass. The sums are exact integers, so the mean, the rms and
// the slope are rounded once and not spoilt by the mid-scale offset.
class NoiseStatisticsSums {
public:
    void Add(std::span<const std::int32_t> codes);
    std::int64_t Count() const { return count; }
    // At least one code was added; the drift of a single code is 0.
    NoiseStatistics Result(double sampleRate) const;

private:
    __extension__ using Wide = __int128;

    double SlopePerSample() const;

    std::int64_t count = 0;
    Wide sum = 0;      // of d = code - mid-scale
    Wide squares = 0;  // of d * d
    Wide indexed = 0;  // of i * d
    std::int32_t minCode = 0;
    std::int32_t maxCode = 0;
};
