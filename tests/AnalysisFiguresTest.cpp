// SPDX-License-Identifier: GPL-3.0-or-later
// The noise figures of tiny series worked out by hand: a constant, a ramp of one code per
// sample, codes alternating two apart, and the edges of the bin and segment rules.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <vector>

#include "analysis/NoiseAnalysis.h"
#include "analysis/NoiseFigureTable.h"
#include "common/Codes.h"

namespace {

constexpr double kFs = 31250.0;  // rate index 16
constexpr double kCode = kMicrovoltsPerCode;

MeasureSettings FastestRate() {
    MeasureSettings settings;
    settings.spsSel = 16;
    return settings;
}

NoiseAnalysis Analyse(const std::vector<std::int32_t>& codes) {
    const auto analysis = NoiseAnalysis::Compute(codes, FastestRate());
    if (!analysis) {
        throw std::runtime_error("no analysis");
    }
    return *analysis;
}

std::vector<std::int32_t> Series(int n, auto codeOf) {
    std::vector<std::int32_t> codes(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        codes[static_cast<std::size_t>(i)] = codeOf(i);
    }
    return codes;
}

TEST(AnalysisFigures, ConstantHasNoNoiseAndTheConvertersResolution) {
    const NoiseAnalysis a = Analyse(std::vector<std::int32_t>(100, kMidScaleCode + 10));
    EXPECT_DOUBLE_EQ(a.statistics.meanMicrovolts, 10 * kCode);
    EXPECT_EQ(a.statistics.rmsMicrovolts, 0.0);
    EXPECT_EQ(a.statistics.peakToPeakMicrovolts, 0.0);
    EXPECT_EQ(a.statistics.effectiveResolutionBits, 24.0);
    EXPECT_EQ(a.statistics.noiseFreeResolutionBits, 24.0);
    EXPECT_TRUE(a.statistics.fResolutionLimitedByCode);
    EXPECT_EQ(a.statistics.driftMicrovoltsPerSecond, 0.0);
    EXPECT_EQ(a.histogram.counts, std::vector<std::int64_t>{100});
    EXPECT_EQ(a.histogram.missingCodes, 0);
    EXPECT_EQ(a.histogram.GaussianCount(kMidScaleCode + 10), 0.0);
    EXPECT_EQ(a.spectrum.whiteNoiseNanovoltsPerRootHz, 0.0);
    EXPECT_FALSE(a.spectrum.peak);
    EXPECT_EQ(a.allan.deviationMicrovolts, std::vector<double>(6, 0.0));  // m = 1 .. 32
    EXPECT_EQ(a.allan.minimum, 0u);
}

TEST(AnalysisFigures, RampOfOneCodePerSample) {
    const int n = 1000;
    const NoiseAnalysis a = Analyse(Series(n, [](int i) { return kMidScaleCode + i; }));
    EXPECT_NEAR(a.statistics.meanMicrovolts, 499.5 * kCode, 1e-12);
    EXPECT_NEAR(a.statistics.rmsMicrovolts, std::sqrt((n * n - 1) / 12.0) * kCode, 1e-12);
    EXPECT_NEAR(a.statistics.driftMicrovoltsPerSecond, kFs * kCode, 1e-9);
    EXPECT_NEAR(a.statistics.noiseFreeResolutionBits, std::log2(5e6 / (999 * kCode)), 1e-12);
    EXPECT_EQ(a.histogram.missingCodes, 0);
    EXPECT_EQ(a.histogram.counts, std::vector<std::int64_t>(1000, 1));
    // u[i+m] − u[i] = m codes, summed m times: σ(τ) = m codes / √2, growing with τ.
    ASSERT_EQ(a.allan.tauSeconds.size(), 9u);  // m = 1 .. 256: 513 ≤ 1000 < 1025
    for (std::size_t j = 0; j < a.allan.tauSeconds.size(); ++j) {
        const double m = std::pow(2.0, static_cast<double>(j));
        EXPECT_DOUBLE_EQ(a.allan.tauSeconds[j], m / kFs);
        EXPECT_NEAR(a.allan.deviationMicrovolts[j], m * kCode / std::sqrt(2.0), 1e-12);
    }
    EXPECT_EQ(a.allan.minimum, 0u);
}

TEST(AnalysisFigures, CodesAlternatingTwoApart) {
    const NoiseAnalysis a =
        Analyse(Series(1000, [](int i) { return kMidScaleCode + 2 * (i % 2); }));
    EXPECT_DOUBLE_EQ(a.statistics.meanMicrovolts, kCode);
    EXPECT_DOUBLE_EQ(a.statistics.rmsMicrovolts, kCode);
    EXPECT_DOUBLE_EQ(a.statistics.effectiveResolutionBits, std::log2(5e6 / kCode));
    EXPECT_FALSE(a.statistics.fResolutionLimitedByCode);
    EXPECT_EQ(a.histogram.counts, (std::vector<std::int64_t>{500, 0, 500}));
    EXPECT_EQ(a.histogram.missingCodes, 1);
    EXPECT_DOUBLE_EQ(a.histogram.GaussianCount(kMidScaleCode + 1),
                     1000.0 / std::sqrt(2.0 * std::numbers::pi));
    // Each step is ±2 codes; over two samples the steps cancel.
    EXPECT_NEAR(a.allan.deviationMicrovolts[0], std::sqrt(2.0) * kCode, 1e-12);
    EXPECT_NEAR(a.allan.deviationMicrovolts[1], 0.0, 1e-12);
    EXPECT_EQ(a.allan.minimum, 1u);
    // All power sits at half the rate: the Hann window leaks it into the bin below only,
    // which stands far above the level of the 255 bins it is averaged with.
    ASSERT_EQ(a.spectrum.frequencyHz.size(), 257u);  // segments of 512
    ASSERT_TRUE(a.spectrum.peak);
    EXPECT_DOUBLE_EQ(a.spectrum.peak->frequencyHz, 255 * kFs / 512);
    EXPECT_NEAR(a.spectrum.peak->nanovoltsPerRootHz,
                *a.spectrum.whiteNoiseNanovoltsPerRootHz * std::sqrt(255.0), 1e-9);
}

// Half a code of noise would be 25 bits: the codes cannot show more than the converter's 24,
// and the table says why. A one-code peak-to-peak is just under 24 bits and stands as it is.
TEST(AnalysisFigures, ResolutionBelowOneCodeOfNoiseIsTheConverters24Bits) {
    const NoiseAnalysis a = Analyse(Series(1000, [](int i) { return kMidScaleCode + i % 2; }));
    EXPECT_DOUBLE_EQ(a.statistics.rmsMicrovolts, kCode / 2);
    EXPECT_EQ(a.statistics.effectiveResolutionBits, 24.0);
    EXPECT_TRUE(a.statistics.fResolutionLimitedByCode);
    EXPECT_DOUBLE_EQ(a.statistics.noiseFreeResolutionBits, std::log2(5e6 / kCode));
    EXPECT_LT(a.statistics.noiseFreeResolutionBits, 24.0);
    const std::vector<NoiseFigure> rows = NoiseFigureTable::StatisticsRows(a.statistics);
    EXPECT_EQ(NoiseFigureTable::LineText(rows[3]),
              "24.00 bit（" + NoiseFigureTable::kCodeLimitNote + "）");
    EXPECT_EQ(NoiseFigureTable::LineText(rows[4]), "24.00 bit");
}

// An Allan deviation still falling at its longest τ names no best averaging time.
TEST(AnalysisFigures, AllanMinimumOnlyWhereTheDeviationTurnsUp) {
    const auto allanRows = [](const NoiseAnalysis& a) {
        std::vector<NoiseFigure> rows = NoiseFigureTable::Rows(a);
        return std::vector<NoiseFigure>(rows.end() - 2, rows.end());
    };
    // 0, 2, 0, 2, 0: σ(1 sample) = √2 codes, σ(2 samples) = 0 at the longest τ.
    const NoiseAnalysis falling = Analyse(
        {kMidScaleCode, kMidScaleCode + 2, kMidScaleCode, kMidScaleCode + 2, kMidScaleCode});
    ASSERT_EQ(falling.allan.tauSeconds.size(), 2u);
    EXPECT_FALSE(falling.allan.MinimumReached());
    const std::vector<NoiseFigure> none = allanRows(falling);
    EXPECT_EQ(NoiseFigureTable::LineText(none[0]),
              "—（" + NoiseFigureTable::kAllanNoMinimumNote + "）");
    EXPECT_EQ(NoiseFigureTable::LineText(none[1]), "—");
    // Nine samples give a third τ, no lower than the second: the minimum is one.
    const NoiseAnalysis turned =
        Analyse(Series(9, [](int i) { return kMidScaleCode + 2 * (i % 2); }));
    ASSERT_EQ(turned.allan.tauSeconds.size(), 3u);
    EXPECT_TRUE(turned.allan.MinimumReached());
    EXPECT_EQ(NoiseFigureTable::LineText(allanRows(turned)[0]),
              NoiseFigureTable::ValueText({"", 2 / kFs, "", FigureFormat::Noise}) + " s");
}

TEST(AnalysisFigures, BinAndSegmentRulesAtTheirEdges) {
    struct Row {
        std::vector<std::int32_t> codes;
        std::int32_t binWidth;
        std::size_t bins;
        std::int64_t missing;
    };
    constexpr std::int32_t kLowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kHighest = std::numeric_limits<std::int32_t>::max();
    const Row rows[] = {
        // Empty codes between sparse samples are no missing codes: the Gaussian of so few
        // samples expects far fewer than five hits in any code.
        {{0, 4095}, 1, 4096, 0},
        {{0, 4096}, 2, 2049, 0},
        {{kFullScaleCode, 0, 7}, 4096, 4096, 0},
        {{kLowest, kHighest}, 1 << 20, 4096, 0},  // beyond 24 bits
    };
    for (const Row& row : rows) {
        const CodeHistogram h = Analyse(row.codes).histogram;
        EXPECT_EQ(h.binWidthCodes, row.binWidth);
        EXPECT_EQ(h.counts.size(), row.bins);
        EXPECT_EQ(std::accumulate(h.counts.begin(), h.counts.end(), std::int64_t{0}),
                  static_cast<std::int64_t>(row.codes.size()));
        EXPECT_GT(h.counts.back(), 0);
        EXPECT_EQ(h.missingCodes, row.missing);
    }
    EXPECT_EQ(WelchSpectrum::SegmentLengthFor(1), 0);
    EXPECT_EQ(WelchSpectrum::SegmentLengthFor(3), 2);
    EXPECT_EQ(WelchSpectrum::SegmentLengthFor(4095), 2048);
    EXPECT_EQ(WelchSpectrum::SegmentLengthFor(1048575), 4096);
}

TEST(AnalysisFigures, TwoSamplesAreTheLeastThatAreAnalysed) {
    EXPECT_FALSE(NoiseAnalysis::Compute(std::vector<std::int32_t>{kMidScaleCode}, {}));
    EXPECT_FALSE(NoiseAnalysis::Compute(std::vector<std::int32_t>{}, {}));
    const NoiseAnalysis a = Analyse({kMidScaleCode, kMidScaleCode + 4});
    EXPECT_DOUBLE_EQ(a.statistics.rmsMicrovolts, 2 * kCode);
    EXPECT_NEAR(a.statistics.driftMicrovoltsPerSecond, 4 * kCode * kFs, 1e-9);
    // Segments of two have no bin between 0 Hz and half the rate; two samples no τ.
    EXPECT_EQ(a.spectrum.frequencyHz, (std::vector<double>{0.0, kFs / 2}));
    EXPECT_FALSE(a.spectrum.whiteNoiseNanovoltsPerRootHz);
    EXPECT_TRUE(a.allan.tauSeconds.empty());
    EXPECT_FALSE(a.allan.minimum);
}

// Every figure in fixed-point whatever its size: a level keeps its microvolt decimals near
// full scale, noise keeps four significant digits and a drift three, far below 1.
TEST(AnalysisFigures, FiguresAreWrittenWithoutAnExponent) {
    struct Row {
        FigureFormat format;
        std::optional<double> value;
        std::string text;
    };
    const Row rows[] = {
        {FigureFormat::Level, 1250000.0123, "1250000.012"},
        {FigureFormat::Level, -0.0004, "0.000"},
        {FigureFormat::Noise, 0.00699297371, "0.006993"},
        {FigureFormat::Noise, 19.9999998, "20.00"},
        {FigureFormat::Noise, 9.99996, "10.00"},
        {FigureFormat::Drift, 4.05407e-05, "0.0000405"},
        {FigureFormat::Rate, 16.67, "16.67"},
        {FigureFormat::Count, 16777215.0, "16777215"},
        {FigureFormat::Noise, std::nullopt, "—"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(NoiseFigureTable::ValueText({"", row.value, "", row.format}), row.text)
            << row.text;
    }
}

}  // namespace
