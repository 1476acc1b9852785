// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "analysis/AllanDeviation.h"
#include "analysis/CodeHistogram.h"
#include "analysis/DynamicFigures.h"
#include "analysis/LogFrequencySpectrum.h"
#include "analysis/LowFrequencyNoise.h"
#include "analysis/NoiseStatistics.h"
#include "analysis/WelchSpectrum.h"
#include "common/MeasureSettings.h"

// Every noise figure of one channel's codes, at the sample rate its settings give.
struct NoiseAnalysis {
    // Fewer samples than this give no analysis.
    static constexpr std::int64_t kMinSamples = 2;

    double sampleRate = 0.0;
    NoiseStatistics statistics;
    CodeHistogram histogram;
    NoiseSpectrum spectrum;
    AllanDeviation allan;
    // The density down to 10 / T with its white level and 1/f corner (empty below
    // LogFrequencySpectrum::kSegment samples), and the 0.1–10 Hz noise (absent below 20 s or
    // at 20 samples per second or less).
    LogNoiseSpectrum logSpectrum;
    std::optional<LowFrequencyNoiseFigures> lowFrequencyNoise;
    // The figures of a sine applied, of the first DynamicFigures::kMaxSamples codes: only where
    // asked for (WithDynamic), since their transform of up to 2^20 codes costs memory that the
    // noise figures of a long recording do without.
    std::optional<DynamicFigures> dynamic;

    // Nothing for fewer than kMinSamples codes.
    static std::optional<NoiseAnalysis> Compute(std::span<const std::int32_t> codes,
                                                const MeasureSettings& settings);
    // The same with the dynamic figures of the same codes.
    static std::optional<NoiseAnalysis> WithDynamic(std::span<const std::int32_t> codes,
                                                    const MeasureSettings& settings);
};
