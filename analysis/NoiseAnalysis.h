// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "analysis/AllanDeviation.h"
#include "analysis/CodeHistogram.h"
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

    // Nothing for fewer than kMinSamples codes.
    static std::optional<NoiseAnalysis> Compute(std::span<const std::int32_t> codes,
                                                const MeasureSettings& settings);
};
