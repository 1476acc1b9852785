// SPDX-License-Identifier: GPL-3.0-or-later
// The noise figures of known signals made by the board simulator's noise source: Gaussian
// noise of a set rms, a sine on top of it, and each filter's sample rate.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "analysis/NoiseAnalysis.h"
#include "boardsim/ConverterModel.h"
#include "boardsim/SampleSource.h"

namespace {

// CH0 of the simulated board at rate index `rate` (Sinc5+Sinc1), plus `extra(i)` microvolts.
std::vector<std::int32_t> Simulated(int rate, int n, auto extra) {
    SampleSource source(11, 0.0, 0.0);
    std::vector<std::int32_t> codes;
    for (int i = 0; i < n; ++i) {
        const double uv = source.NextMicrovolts(rate, true)[0] + extra(i);
        codes.push_back(ConverterModel::MicrovoltsToCode(uv));
    }
    return codes;
}

MeasureSettings Rate(int spsSel, bool fSinc5 = true) {
    MeasureSettings settings;
    settings.spsSel = spsSel;
    settings.fSinc5 = fSinc5;
    return settings;
}

TEST(AnalysisSignals, GaussianNoiseGivesItsRmsAndAFlatDensity) {
    const int rate = 16;
    const double rms = ConverterModel::NoiseRmsMicrovolts(rate, true);  // 5 µV
    const auto codes = Simulated(rate, 200000, [](int) { return 0.0; });
    const NoiseAnalysis a = *NoiseAnalysis::Compute(codes, Rate(rate));
    EXPECT_NEAR(a.statistics.rmsMicrovolts, rms, 0.01 * rms);
    EXPECT_NEAR(a.statistics.effectiveResolutionBits, std::log2(5e6 / rms), 0.02);
    // White noise spreads its power evenly up to half the rate: rms / √(fs / 2).
    const double flat = rms / std::sqrt(a.sampleRate / 2) * 1000.0;
    EXPECT_NEAR(*a.spectrum.whiteNoiseNanovoltsPerRootHz, flat, 0.01 * flat);
    EXPECT_FALSE(a.spectrum.peak);
    // Averaging m samples divides white noise by √m: the deviation falls all the way.
    EXPECT_NEAR(a.allan.deviationMicrovolts[0], rms, 0.02 * rms);
    EXPECT_NEAR(a.allan.deviationMicrovolts[4], rms / 4, 0.05 * rms / 4);
    EXPECT_GT(*a.allan.minimum, a.allan.tauSeconds.size() / 2);
    EXPECT_NEAR(a.statistics.driftMicrovoltsPerSecond, 0.0, 1.0);
}

// The simulated board's noise leaves codes in the tails empty: chance, where the Gaussian
// expects few hits, and no missing code. A converter that never gives a code near the mean
// shows it.
TEST(AnalysisSignals, MissingCodesAreOnlyThoseTheGaussianExpectsToBeHit) {
    for (const int rate : {16, 14}) {
        SCOPED_TRACE(rate);
        std::vector<std::int32_t> codes = Simulated(rate, 10000, [](int) { return 0.0; });
        const NoiseAnalysis a = *NoiseAnalysis::Compute(codes, Rate(rate));
        EXPECT_GT(std::count(a.histogram.counts.begin(), a.histogram.counts.end(), 0), 0);
        EXPECT_EQ(a.histogram.missingCodes, 0);

        const auto hole = static_cast<std::int32_t>(std::llround(a.statistics.meanCode)) + 1;
        std::replace(codes.begin(), codes.end(), hole, hole + 1);
        EXPECT_EQ(NoiseAnalysis::Compute(codes, Rate(rate))->histogram.missingCodes, 1);
    }
}

TEST(AnalysisSignals, SineStandsOutAtItsFrequencyWithItsPower) {
    const int rate = 11;  // 1007 per second with Sinc5+Sinc1
    const double fs = 1007.0;
    // Exactly on bin 204 of the 4096-sample segments, about 50.15 Hz.
    const double frequency = 204 * fs / 4096;
    const double amplitude = 300.0;
    const auto codes = Simulated(rate, 40000, [&](int i) {
        return amplitude * std::sin(2 * std::numbers::pi * frequency * i / fs);
    });
    const NoiseAnalysis a = *NoiseAnalysis::Compute(codes, Rate(rate));
    ASSERT_TRUE(a.spectrum.peak);
    EXPECT_DOUBLE_EQ(a.spectrum.peak->frequencyHz, frequency);
    // The sine's mean square A²/2 over the Hann window's noise bandwidth, 1.5 fs / 4096.
    const double expected = amplitude / std::sqrt(2.0) / std::sqrt(1.5 * fs / 4096) * 1000.0;
    EXPECT_NEAR(a.spectrum.peak->nanovoltsPerRootHz, expected, 0.01 * expected);
}

TEST(AnalysisSignals, SampleRateFollowsTheRateIndexAndTheFilter) {
    const std::vector<std::int32_t> codes(10, 8388608);
    EXPECT_EQ(NoiseAnalysis::Compute(codes, Rate(4, true))->sampleRate, 16.63);
    EXPECT_EQ(NoiseAnalysis::Compute(codes, Rate(4, false))->sampleRate, 16.67);
    EXPECT_EQ(NoiseAnalysis::Compute(codes, Rate(16, false))->sampleRate, 31250.0);
    EXPECT_EQ(NoiseAnalysis::Compute(codes, Rate(0, true))->sampleRate, 1.25);
}

}  // namespace
