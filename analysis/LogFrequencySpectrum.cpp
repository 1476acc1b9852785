// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/LogFrequencySpectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "analysis/FlickerFit.h"
#include "analysis/HalfBandDecimator.h"
#include "analysis/WelchSpectrum.h"

namespace {

constexpr double kNanovoltsPerMicrovolt = 1000.0;
constexpr int kPointsPerDecade = 10;
// The points begin at or below this many periods of the series' duration.
constexpr double kLowestPeriods = 10.0;
// A point's band: a tenth of a decade, half of it either side in the logarithm.
const double kHalfBand = std::pow(10.0, 0.5 / kPointsPerDecade);
// A halved stage is flat (HalfBandDecimator) up to this fraction of its rate.
constexpr double kFlatFraction = 0.3;
// The first bin a point takes: the Hann window spreads what lies below the first bin into the
// two after it ...
constexpr std::size_t kFirstBin = 3;
// ... and a point's band starts no lower than the sixteenth bin of a stage but the last: its
// band then spans 3.7 bins or more, well beyond the window's noise bandwidth (1.5 bins), so the
// point still resolves its tenth of a decade.
constexpr double kLeastEdge = 15.5;
// The white level and the 1/f line are fitted up to this fraction of the rate.
constexpr double kFittedFraction = 1.0 / 20.0;
// Codes are turned into doubles this many at a time.
constexpr std::size_t kChunk = 4096;
constexpr auto kHalf = static_cast<std::size_t>(LogFrequencySpectrum::kSegment / 2);

// |ρ|² of the periodogram values of one bin and of the bin d away, in segments half a segment
// apart (periodic Hann): |Σ w[m] w[m + L/2] e^(2πi d m / L)|² / (Σ w²)², for d = 0 .. L/2.
std::vector<double> NextSegmentCorrelation() {
    constexpr auto L = static_cast<std::size_t>(LogFrequencySpectrum::kSegment);
    std::vector<double> w(L);
    double power = 0.0;
    for (std::size_t n = 0; n < L; ++n) {
        w[n] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(n) / L);
        power += w[n] * w[n];
    }
    std::vector<double> correlation(kHalf + 1);
    for (std::size_t d = 0; d <= kHalf; ++d) {
        std::complex<double> sum;
        for (std::size_t m = 0; m < kHalf; ++m) {
            sum += w[m] * w[m + kHalf] *
                   std::polar(1.0, 2.0 * std::numbers::pi * static_cast<double>(d * m) / L);
        }
        correlation[d] = std::norm(sum) / (power * power);
    }
    return correlation;
}

// |ρ|² of two bins d apart in one segment (periodic Hann): 1, (2/3)², (1/6)², then 0.
double SameSegmentCorrelation(std::size_t d) {
    constexpr double kCorrelation[] = {1.0, 4.0 / 9.0, 1.0 / 36.0};
    return d < 3 ? kCorrelation[d] : 0.0;
}

// One point's share of each bin: how much of the bin's width lies in the band [low, high)
// (in bins), from kFirstBin to the last bin below half the stage's rate.
std::vector<double> BinShares(double low, double high) {
    std::vector<double> shares(kHalf, 0.0);
    for (std::size_t k = kFirstBin; k < kHalf; ++k) {
        const double centre = static_cast<double>(k);
        shares[k] = std::max(0.0, std::min(high, centre + 0.5) - std::max(low, centre - 0.5));
    }
    return shares;
}

// The independent values the weighted mean of the bins with `shares` over `segments` Welch
// segments is worth: the inverse of its variance over the squared mean, for white noise.
double EquivalentAverages(const std::vector<double>& shares, std::int64_t segments) {
    static const std::vector<double> nextSegment = NextSegmentCorrelation();
    const auto K = static_cast<double>(segments);
    double variance = 0.0;
    double total = 0.0;
    for (std::size_t i = 0; i < shares.size(); ++i) {
        total += shares[i];
        for (std::size_t j = 0; j < shares.size() && shares[i] > 0.0; ++j) {
            const std::size_t d = i > j ? i - j : j - i;
            variance += shares[i] * shares[j] *
                        (K * SameSegmentCorrelation(d) + 2.0 * (K - 1.0) * nextSegment[d]);
        }
    }
    return K * K * total * total / variance;
}

}  // namespace

struct LogFrequencySpectrum::Stage {
    explicit Stage(double stageRate) : welch(kSegment, stageRate) {}

    WelchSpectrum welch;
    HalfBandDecimator decimator;
    std::vector<double> decimated;  // the next stage's samples from the last piece
};

LogNoiseSpectrum LogFrequencySpectrum::Compute(std::span<const std::int32_t> codes,
                                               double sampleRate) {
    LogFrequencySpectrum spectrum(sampleRate);
    spectrum.Add(codes);
    return spectrum.Result();
}

LogFrequencySpectrum::LogFrequencySpectrum(double sampleRate) : rate(sampleRate) {
    stages.push_back(std::make_unique<Stage>(rate));
}

LogFrequencySpectrum::~LogFrequencySpectrum() = default;

void LogFrequencySpectrum::Add(std::span<const std::int32_t> codes) {
    if (count == 0 && !codes.empty()) {
        firstCode = codes.front();
    }
    count += static_cast<std::int64_t>(codes.size());
    while (!codes.empty()) {
        const std::size_t n = std::min(kChunk, codes.size());
        converted.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            converted[i] = static_cast<double>(std::int64_t{codes[i]} - firstCode);
        }
        Feed(0, converted);
        codes = codes.subspan(n);
    }
}

void LogFrequencySpectrum::Feed(std::size_t stage, std::span<const double> samples) {
    Stage& s = *stages[stage];
    s.welch.AddSamples(samples);
    s.decimated.clear();
    s.decimator.Push(samples, s.decimated);
    if (s.decimated.empty()) {
        return;
    }
    if (stage + 1 == stages.size()) {
        stages.push_back(std::make_unique<Stage>(rate / std::exp2(static_cast<double>(stage + 1))));
    }
    Feed(stage + 1, s.decimated);
}

std::optional<LogFrequencySpectrum::Estimate> LogFrequencySpectrum::EstimateFrom(
    std::size_t stage, double f, const std::vector<double>& density, bool fLast) const {
    const double stageRate = rate / std::exp2(static_cast<double>(stage));
    const double bin = stageRate / kSegment;
    const double low = f / kHalfBand / bin;
    const double high = f * kHalfBand / bin;
    if ((stage > 0 && high * bin > kFlatFraction * stageRate) || (!fLast && low < kLeastEdge)) {
        return std::nullopt;
    }
    const std::vector<double> shares = BinShares(low, high);
    double weighted = 0.0;
    double total = 0.0;
    for (std::size_t b = 0; b < shares.size(); ++b) {
        weighted += shares[b] * density[b];
        total += shares[b];
    }
    if (total == 0.0) {
        return std::nullopt;
    }
    return Estimate{weighted / total, EquivalentAverages(shares, stages[stage]->welch.Segments())};
}

LogNoiseSpectrum LogFrequencySpectrum::Result() const {
    LogNoiseSpectrum spectrum;
    std::vector<std::vector<double>> density;  // µV²/Hz of each stage with a whole segment
    for (const auto& stage : stages) {
        if (stage->welch.Segments() == 0) {
            break;
        }
        density.push_back(stage->welch.Density());
    }
    if (density.empty()) {
        return spectrum;
    }
    const double duration = static_cast<double>(count) / rate;
    const auto lowest = static_cast<int>(
        std::floor(kPointsPerDecade * std::log10(kLowestPeriods / duration) + 1e-9));
    const auto highest =
        static_cast<int>(std::floor(kPointsPerDecade * std::log10(rate / 2.0) + 1e-9));
    std::vector<double> fitted[3];  // frequency, power density, averages up to the fit's limit
    for (int k = lowest; k <= highest; ++k) {
        const double f = std::pow(10.0, static_cast<double>(k) / kPointsPerDecade);
        std::optional<Estimate> best;
        for (std::size_t s = 0; s < density.size(); ++s) {
            const auto estimate = EstimateFrom(s, f, density[s], s + 1 == density.size());
            if (estimate && (!best || estimate->averages > best->averages)) {
                best = estimate;
            }
        }
        if (!best) {
            continue;
        }
        spectrum.frequencyHz.push_back(f);
        spectrum.nanovoltsPerRootHz.push_back(std::sqrt(best->power) * kNanovoltsPerMicrovolt);
        spectrum.averages.push_back(best->averages);
        if (f <= rate * kFittedFraction) {
            fitted[0].push_back(f);
            fitted[1].push_back(best->power);
            fitted[2].push_back(best->averages);
        }
    }
    const FlickerFit fit = FlickerFit::Of(fitted[0], fitted[1], fitted[2]);
    if (fit.white) {
        spectrum.whiteNoiseNanovoltsPerRootHz = std::sqrt(*fit.white) * kNanovoltsPerMicrovolt;
    }
    spectrum.flickerCornerHz = fit.cornerHz;
    return spectrum;
}
