// SPDX-License-Identifier: GPL-3.0-or-later
// The noise model against the converter's published figures, and the noise of simulated
// runs against the model.

#include <gtest/gtest.h>

#include <cmath>

#include "boardsim/ConverterModel.h"
#include "tests/BoardSimFixture.h"

namespace {

double Rms(const std::vector<double>& values) {
    double mean = 0.0;
    for (const double v : values) {
        mean += v;
    }
    mean /= static_cast<double>(values.size());
    double squares = 0.0;
    for (const double v : values) {
        squares += (v - mean) * (v - mean);
    }
    return std::sqrt(squares / static_cast<double>(values.size()));
}

TEST(BoardSimNoise, FollowsThePublishedFigures) {
    EXPECT_NEAR(ConverterModel::NoiseRmsMicrovolts(16, true), 5.0, 0.01);
    EXPECT_NEAR(ConverterModel::NoiseFreeBits(ConverterModel::NoiseRmsMicrovolts(16, true)), 17.2,
                0.1);
    EXPECT_NEAR(ConverterModel::NoiseFreeBits(ConverterModel::NoiseRmsMicrovolts(2, true)), 24.0,
                0.6);
    // Square-root growth with the rate, and Sinc3 quieter only at the slowest rates.
    EXPECT_NEAR(
        ConverterModel::NoiseRmsMicrovolts(3, true) / ConverterModel::NoiseRmsMicrovolts(2, true),
        std::sqrt(2.0), 1e-9);
    EXPECT_LT(ConverterModel::NoiseRmsMicrovolts(0, false),
              ConverterModel::NoiseRmsMicrovolts(0, true));
    EXPECT_EQ(ConverterModel::NoiseRmsMicrovolts(16, false),
              ConverterModel::NoiseRmsMicrovolts(16, true));
}

TEST(BoardSimNoise, CodeRuleInvertsTheMicrovoltRule) {
    for (const double uv : {0.0, 4.0, -4.0, 1250000.0, -2500000.0, 2499999.0}) {
        const auto code = ConverterModel::MicrovoltsToCode(uv);
        EXPECT_NEAR(CodeToMicrovolts(code, 1), uv, 0.5 * kReferenceMicrovolts / kCodeDivisor) << uv;
    }
    EXPECT_EQ(ConverterModel::MicrovoltsToCode(0.0), kMidScaleCode);
    EXPECT_EQ(ConverterModel::MicrovoltsToCode(3e6), kFullScaleCode);
    EXPECT_EQ(ConverterModel::MicrovoltsToCode(-3e6), kMinScaleCode);
}

// Noise of a long run's codes, taken through the link. Quantisation adds one twelfth of a
// code squared to the variance (Sheppard), which is taken off again.
TEST(BoardSimNoise, RunsCarryTheIntendedNoise) {
    struct Case {
        int rateIndex;
        int count;
    };
    for (const auto& c : {Case{16, 10000}, Case{8, 10000}}) {
        SimLink link;
        ASSERT_TRUE(link.adc.OpenBoard());
        ASSERT_TRUE(link.adc.SetDataRate(c.rateIndex));
        ASSERT_TRUE(link.adc.StartConversion(2, c.count));
        const auto run = ReadRun(link.adc, 2, c.count, kSamplesPerPoll[c.rateIndex],
                                 link.FakeWait(c.rateIndex, true, std::chrono::seconds(200)));
        ASSERT_EQ(run.acquired, c.count);
        const double codeMicrovolts = kReferenceMicrovolts / kCodeDivisor;
        const double intended = ConverterModel::NoiseRmsMicrovolts(c.rateIndex, true);
        for (const auto* channel : {&run.ch0, &run.ch1}) {
            std::vector<double> values;
            for (int i = 0; i < c.count; ++i) {
                values.push_back(CodeToMicrovolts((*channel)[i], 1));
            }
            const double rms = Rms(values);
            const double corrected = std::sqrt(rms * rms - codeMicrovolts * codeMicrovolts / 12.0);
            EXPECT_NEAR(corrected / intended, 1.0, 0.03) << "rate " << c.rateIndex;
        }
    }
}

// At the slowest rates the noise is below one code; the source's voltages show it.
TEST(BoardSimNoise, SlowRatesCarryTheIntendedNoiseBeforeConversion) {
    for (const bool fSinc5 : {true, false}) {
        SampleSource source(99, 4.0, 1250000.0);
        std::vector<double> ch0, ch1;
        for (int i = 0; i < 100000; ++i) {
            const auto uv = source.NextMicrovolts(0, fSinc5);
            ch0.push_back(uv[0]);
            ch1.push_back(uv[1]);
        }
        const double intended = ConverterModel::NoiseRmsMicrovolts(0, fSinc5);
        EXPECT_NEAR(Rms(ch0) / intended, 1.0, 0.02);
        EXPECT_NEAR(Rms(ch1) / intended, 1.0, 0.02);
    }
}

}  // namespace
