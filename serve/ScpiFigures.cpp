// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiFigures.h"

#include "analysis/DynamicFigures.h"
#include "analysis/NoiseAnalysis.h"
#include "analysis/NoiseStatistics.h"
#include "analysis/WelchSpectrum.h"
#include "common/SampleRates.h"
#include "serve/ScpiResponse.h"

namespace {

constexpr double kPerMicro = 1e-6;
constexpr double kPerNano = 1e-9;
constexpr std::size_t kDynamicFigures = 7;

double OrNotANumber(const std::optional<double>& figure, double scale = 1.0) {
    return figure ? *figure * scale : ScpiResponse::kNotANumber;
}

}  // namespace

std::vector<double> ScpiFigures::Average(std::span<const std::int32_t> codes,
                                         const MeasureSettings& settings) {
    NoiseStatisticsSums sums;
    sums.Add(codes);
    const NoiseStatistics statistics = sums.Result(SampleRates::SamplesPerSecond(settings));
    // One sample has no spread.
    const double deviation = statistics.count >= NoiseAnalysis::kMinSamples
                                 ? statistics.rmsMicrovolts * kPerMicro
                                 : ScpiResponse::kNotANumber;
    const std::int32_t gain = settings.GainFactor;
    return {statistics.meanMicrovolts * kPerMicro, deviation,
            ScpiResponse::Volts(statistics.minCode, gain),
            ScpiResponse::Volts(statistics.maxCode, gain)};
}

std::vector<double> ScpiFigures::Noise(std::span<const std::int32_t> codes,
                                       const MeasureSettings& settings) {
    if (std::ssize(codes) < NoiseAnalysis::kMinSamples) {
        return std::vector<double>(5, ScpiResponse::kNotANumber);
    }
    const double rate = SampleRates::SamplesPerSecond(settings);
    const NoiseStatistics statistics = NoiseStatistics::Compute(codes, rate);
    const NoiseSpectrum spectrum = WelchSpectrum::Compute(codes, rate);
    return {statistics.rmsMicrovolts * kPerMicro, statistics.peakToPeakMicrovolts * kPerMicro,
            statistics.effectiveResolutionBits, statistics.noiseFreeResolutionBits,
            OrNotANumber(spectrum.whiteNoiseNanovoltsPerRootHz, kPerNano)};
}

std::vector<double> ScpiFigures::Dynamic(std::span<const std::int32_t> codes,
                                         const MeasureSettings& settings) {
    const DynamicFigures figures =
        DynamicFigures::Compute(codes, SampleRates::SamplesPerSecond(settings));
    if (!figures.sine) {
        return std::vector<double>(kDynamicFigures, ScpiResponse::kNotANumber);
    }
    const SineFigures& sine = *figures.sine;
    return {sine.fundamentalHz,         sine.fundamentalDbfs,       OrNotANumber(sine.snrDb),
            OrNotANumber(sine.thdDb),   OrNotANumber(sine.sinadDb), OrNotANumber(sine.sfdrDb),
            OrNotANumber(sine.enobBits)};
}
