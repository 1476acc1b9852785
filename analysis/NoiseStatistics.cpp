#include "NoiseStatistics.h"

#include <algorithm>
#include <cmath>

#include "Codes.h"

namespace {

// Sums of codes and of their squares and index products are kept exact, so that the mean,
// the rms and the slope are rounded once and not spoilt by the mid-scale offset.
__extension__ using Wide = __int128;

struct ExactSums {
    Wide sum = 0;      // of d = code - mid-scale
    Wide squares = 0;  // of d * d
    Wide indexed = 0;  // of i * d
    std::int32_t minCode = 0;
    std::int32_t maxCode = 0;
};

ExactSums SumsOf(std::span<const std::int32_t> codes) {
    ExactSums s;
    s.minCode = s.maxCode = codes.front();
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const std::int64_t d = std::int64_t{codes[i]} - kMidScaleCode;
        s.sum += d;
        s.squares += Wide{d} * d;
        s.indexed += Wide{static_cast<std::int64_t>(i)} * d;
        s.minCode = std::min(s.minCode, codes[i]);
        s.maxCode = std::max(s.maxCode, codes[i]);
    }
    return s;
}

std::optional<double> ResolutionBits(double microvolts) {
    if (microvolts <= 0.0) {
        return std::nullopt;
    }
    return std::log2(kInputSpanMicrovolts / microvolts);
}

// Least-squares slope of d against the sample index, in codes per sample:
// (n Σ i d − Σi Σd) / (n Σ i² − (Σi)²), where the denominator is n²(n² − 1) / 12.
double SlopePerSample(const ExactSums& s, std::int64_t n) {
    const Wide wideN = n;
    const Wide sumIndex = wideN * (n - 1) / 2;
    const Wide numerator = wideN * s.indexed - sumIndex * s.sum;
    const Wide denominator = wideN * wideN * (wideN * wideN - 1) / 12;
    return static_cast<double>(numerator) / static_cast<double>(denominator);
}

}  // namespace

NoiseStatistics NoiseStatistics::Compute(std::span<const std::int32_t> codes, double sampleRate) {
    const ExactSums s = SumsOf(codes);
    const auto n = static_cast<std::int64_t>(codes.size());
    const double count = static_cast<double>(n);
    NoiseStatistics figures;
    figures.count = n;
    figures.minCode = s.minCode;
    figures.maxCode = s.maxCode;
    const double meanOffset = static_cast<double>(s.sum) / count;
    figures.meanCode = meanOffset + kMidScaleCode;
    // n Σd² − (Σd)² is exact and never negative.
    figures.rmsCode = std::sqrt(static_cast<double>(Wide{n} * s.squares - s.sum * s.sum)) / count;
    figures.meanMicrovolts = meanOffset * kMicrovoltsPerCode;
    figures.rmsMicrovolts = figures.rmsCode * kMicrovoltsPerCode;
    figures.peakToPeakMicrovolts =
        static_cast<double>(std::int64_t{s.maxCode} - s.minCode) * kMicrovoltsPerCode;
    figures.effectiveResolutionBits = ResolutionBits(figures.rmsMicrovolts);
    figures.noiseFreeResolutionBits = ResolutionBits(figures.peakToPeakMicrovolts);
    figures.driftMicrovoltsPerSecond = SlopePerSample(s, n) * sampleRate * kMicrovoltsPerCode;
    return figures;
}
