// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/NoiseStatistics.h"

#include <algorithm>
#include <cmath>

#include "common/Codes.h"

namespace {

// The converter's own resolution: what a noise below one code leaves.
constexpr double kConverterBits = 24.0;

double ResolutionBits(double microvolts) {
    if (microvolts <= 0.0) {
        return kConverterBits;
    }
    return std::min(std::log2(kInputSpanMicrovolts / microvolts), kConverterBits);
}

}  // namespace

NoiseStatistics NoiseStatistics::Compute(std::span<const std::int32_t> codes, double sampleRate) {
    NoiseStatisticsSums sums;
    sums.Add(codes);
    return sums.Result(sampleRate);
}

void NoiseStatisticsSums::Add(std::span<const std::int32_t> codes) {
    if (!codes.empty() && count == 0) {
        minCode = maxCode = codes.front();
    }
    for (const std::int32_t code : codes) {
        const std::int64_t d = std::int64_t{code} - kMidScaleCode;
        sum += d;
        squares += Wide{d} * d;
        indexed += Wide{count} * d;
        minCode = std::min(minCode, code);
        maxCode = std::max(maxCode, code);
        ++count;
    }
}

// Least-squares slope of d against the sample index, in codes per sample:
// (n Σ i d − Σi Σd) / (n Σ i² − (Σi)²), where the denominator is n²(n² − 1) / 12.
double NoiseStatisticsSums::SlopePerSample() const {
    if (count < 2) {
        return 0.0;
    }
    const Wide n = count;
    const Wide sumIndex = n * (n - 1) / 2;
    const Wide numerator = n * indexed - sumIndex * sum;
    const Wide denominator = n * n * (n * n - 1) / 12;
    return static_cast<double>(numerator) / static_cast<double>(denominator);
}

NoiseStatistics NoiseStatisticsSums::Result(double sampleRate) const {
    const double n = static_cast<double>(count);
    NoiseStatistics figures;
    figures.count = count;
    figures.minCode = minCode;
    figures.maxCode = maxCode;
    const double meanOffset = static_cast<double>(sum) / n;
    figures.meanCode = meanOffset + kMidScaleCode;
    // n Σd² − (Σd)² is exact and never negative.
    figures.rmsCode = std::sqrt(static_cast<double>(Wide{count} * squares - sum * sum)) / n;
    figures.meanMicrovolts = meanOffset * kMicrovoltsPerCode;
    figures.rmsMicrovolts = figures.rmsCode * kMicrovoltsPerCode;
    figures.peakToPeakMicrovolts =
        static_cast<double>(std::int64_t{maxCode} - minCode) * kMicrovoltsPerCode;
    figures.effectiveResolutionBits = ResolutionBits(figures.rmsMicrovolts);
    figures.noiseFreeResolutionBits = ResolutionBits(figures.peakToPeakMicrovolts);
    figures.fResolutionLimitedByCode =
        figures.rmsMicrovolts < kInputSpanMicrovolts / std::exp2(kConverterBits);
    figures.driftMicrovoltsPerSecond = SlopePerSample() * sampleRate * kMicrovoltsPerCode;
    return figures;
}
