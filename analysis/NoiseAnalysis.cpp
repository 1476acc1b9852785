// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/NoiseAnalysis.h"

#include "common/SampleRates.h"

std::optional<NoiseAnalysis> NoiseAnalysis::Compute(std::span<const std::int32_t> codes,
                                                    const MeasureSettings& settings) {
    if (static_cast<std::int64_t>(codes.size()) < kMinSamples) {
        return std::nullopt;
    }
    NoiseAnalysis analysis;
    analysis.sampleRate = SampleRates::SamplesPerSecond(settings);
    analysis.statistics = NoiseStatistics::Compute(codes, analysis.sampleRate);
    analysis.histogram = CodeHistogram::Compute(codes, analysis.statistics);
    analysis.spectrum = WelchSpectrum::Compute(codes, analysis.sampleRate);
    analysis.allan = AllanDeviation::Compute(codes, analysis.sampleRate);
    analysis.logSpectrum = LogFrequencySpectrum::Compute(codes, analysis.sampleRate);
    analysis.lowFrequencyNoise = LowFrequencyNoise::Compute(codes, analysis.sampleRate);
    return analysis;
}

std::optional<NoiseAnalysis> NoiseAnalysis::WithDynamic(std::span<const std::int32_t> codes,
                                                        const MeasureSettings& settings) {
    std::optional<NoiseAnalysis> analysis = Compute(codes, settings);
    if (analysis) {
        analysis->dynamic = DynamicFigures::Compute(codes, analysis->sampleRate);
    }
    return analysis;
}
