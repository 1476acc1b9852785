// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/Codes.h"
#include "measure/ChannelStatistics.h"
#include "measure/Measurement.h"

namespace {

void Fill(ChannelBuffer& buffer, const std::vector<std::int32_t>& codes) {
    for (std::size_t i = 0; i < codes.size(); ++i) {
        buffer.Codes[i] = codes[i];
    }
    buffer.Series.Count = static_cast<std::int32_t>(codes.size());
    ChannelStatistics::ConvertToMicrovolts(buffer.Series, 0, buffer.Series.Count - 1, 1);
}

// `high` samples of code + 1 among n: a Bernoulli spread of sqrt(p (1 − p)) codes.
std::vector<std::int32_t> TwoValued(std::int32_t code, int n, int high) {
    std::vector<std::int32_t> codes(static_cast<std::size_t>(n), code);
    for (int i = 0; i < high; ++i) {
        codes[static_cast<std::size_t>(i * n / high)] = code + 1;
    }
    return codes;
}

TEST(ChannelStatistics, MeanCodeIsTruncatedButTheDeviationIsAroundTheExactMean) {
    struct Case {
        std::vector<std::int32_t> codes;
        std::int32_t mean;
        double deviation;
    };
    const std::vector<Case> cases = {
        {{1, 2}, 1, 0.5},  // mean 1.5 shows as 1; the spread is still half a code
        {TwoValued(8388621, 1000, 500), 8388621, 0.5},
        {TwoValued(8388621, 1000, 300), 8388621, std::sqrt(0.3 * 0.7)},
        {{8388608, 8388608, 8388608}, 8388608, 0.0},
        {{0, 16777215}, 8388607, 8388607.5},
        {{-3, -4}, -3, 0.5},  // hand-edited files may hold negatives: toward zero
    };
    for (const auto& c : cases) {
        ChannelBuffer buffer;
        Fill(buffer, c.codes);
        ChannelStatistics stats;
        stats.Compute(buffer.Series, 1);
        EXPECT_EQ(stats.MeanCode, c.mean) << c.codes.size();
        EXPECT_NEAR(stats.CodeStdDev, c.deviation, 1e-12) << c.codes.size();
    }
}

TEST(ChannelStatistics, MicrovoltsComeFromTheCodesNotFromTheDrawingFloats) {
    // Near 1.25 V a float steps by 0.125 uV, a code by 0.298 uV: codes one apart must still
    // be one code step apart, and their spread half of it.
    ChannelBuffer buffer;
    Fill(buffer, TwoValued(12582912, 1000, 500));
    ChannelStatistics stats;
    stats.Compute(buffer.Series, 1);
    EXPECT_NEAR(stats.MeanMicrovolts, CodeToMicrovolts(12582912, 1) + kMicrovoltsPerCode / 2, 1e-9);
    EXPECT_NEAR(stats.MicrovoltStdDev, kMicrovoltsPerCode / 2, 1e-12);

    Measurement data(100);
    data.Settings.CHSel = 0;
    std::copy(buffer.Codes.begin(), buffer.Codes.begin() + 100, data.Series(0).Codes);
    data.SetRunData(100);
    data.Evaluate();
    const Measurement::Extremes extremes = data.ExtremesOf(0);
    EXPECT_NEAR(extremes.maxMicrovolts - extremes.minMicrovolts, kMicrovoltsPerCode, 1e-9);
}

TEST(ChannelStatistics, EmptySeriesKeepsThePreviousValues) {
    ChannelBuffer buffer;
    ChannelStatistics stats{123, 4.5, 6.5, 7.5};
    stats.Compute(buffer.Series, 1);
    EXPECT_EQ(stats.MeanCode, 123);
    EXPECT_EQ(stats.CodeStdDev, 4.5);
    EXPECT_EQ(stats.MeanMicrovolts, 6.5);
    EXPECT_EQ(stats.MicrovoltStdDev, 7.5);
}

TEST(ChannelStatistics, ConvertsOnlyTheGivenStretch) {
    ChannelBuffer buffer;
    for (int i = 0; i < 5; ++i) {
        buffer.Codes[i] = 16777215;
        buffer.Microvolts[i] = -1.0F;
    }
    ChannelStatistics::ConvertToMicrovolts(buffer.Series, 1, 3, 1);
    EXPECT_EQ(buffer.Microvolts[0], -1.0F);
    EXPECT_EQ(buffer.Microvolts[1], 2500000.0F);
    EXPECT_EQ(buffer.Microvolts[3], 2500000.0F);
    EXPECT_EQ(buffer.Microvolts[4], -1.0F);
}

}  // namespace
