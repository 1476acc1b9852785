// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "measure/ChannelStatistics.h"

namespace {

void Fill(ChannelBuffer& buffer, const std::vector<std::int32_t>& codes) {
    for (std::size_t i = 0; i < codes.size(); ++i) {
        buffer.Codes[i] = codes[i];
    }
    buffer.Series.Count = static_cast<std::int32_t>(codes.size());
    ChannelStatistics::ConvertToMicrovolts(buffer.Series, 0, buffer.Series.Count - 1, 1);
}

TEST(ChannelStatistics, CodeMeanIsTruncatedAndDeviationUsesIt) {
    struct Case {
        std::vector<std::int32_t> codes;
        std::int32_t mean;
        double deviation;
    };
    const std::vector<Case> cases = {
        {{1, 2}, 1, std::sqrt(0.5)},  // mean 1.5 truncates to 1
        {{8388608, 8388608, 8388608}, 8388608, 0.0},
        {{10, 20, 30, 40}, 25, std::sqrt(125.0)},
        {{0, 16777215}, 8388607, 8388607.5},
        {{-3, -4}, -3, std::sqrt(0.5)},  // hand-edited files may hold negatives: toward zero
    };
    for (const auto& c : cases) {
        ChannelBuffer buffer;
        Fill(buffer, c.codes);
        ChannelStatistics stats;
        stats.ComputeCodeStatistics(buffer.Series);
        EXPECT_EQ(stats.MeanCode, c.mean);
        EXPECT_FLOAT_EQ(stats.CodeStdDev, static_cast<float>(c.deviation));
    }
}

TEST(ChannelStatistics, MicrovoltStatistics) {
    ChannelBuffer buffer;
    Fill(buffer, {8388608, 8388618, 8388598});  // 0, +10 codes, -10 codes
    EXPECT_FLOAT_EQ(buffer.Microvolts[1], 2.98023224F);
    ChannelStatistics stats;
    stats.ComputeMicrovoltStatistics(buffer.Series);
    EXPECT_NEAR(stats.MeanMicrovolts, 0.0F, 1e-6);
    EXPECT_FLOAT_EQ(stats.MicrovoltStdDev, static_cast<float>(2.98023224 * std::sqrt(2.0 / 3.0)));
}

TEST(ChannelStatistics, EmptySeriesKeepsThePreviousValues) {
    ChannelBuffer buffer;
    ChannelStatistics stats{123, 4.5F, 6.5F, 7.5F};
    stats.ComputeCodeStatistics(buffer.Series);
    stats.ComputeMicrovoltStatistics(buffer.Series);
    EXPECT_EQ(stats.MeanCode, 123);
    EXPECT_EQ(stats.CodeStdDev, 4.5F);
    EXPECT_EQ(stats.MeanMicrovolts, 6.5F);
    EXPECT_EQ(stats.MicrovoltStdDev, 7.5F);
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
