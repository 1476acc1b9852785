// SPDX-License-Identifier: GPL-3.0-or-later
// A bench meter's readings: the samples each spans, their exact means, and what the null, the
// scale and the limits do to them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "common/Codes.h"
#include "measure/ReadingMath.h"
#include "measure/Readings.h"

namespace {

TEST(ReadingAperture, SamplesSpanTheCyclesAtTheRateRoundedToTheNearest) {
    struct Case {
        double cycles;
        int lineHz;
        double rate;
        std::int64_t samples;
    };
    const Case cases[] = {
        {1.0, 50, 31250.0, 625},  // a line period holds 625 samples exactly
        {1.0, 60, 31250.0, 521},  // 520.83
        {0.5, 50, 31250.0, 313},  // 312.5, half away from zero
        {100.0, 50, 31250.0, 62500}, {0.02, 50, 10.0, 1},  // less than one sample is still one
        {0.0, 50, 31250.0, 1},                             // no aperture: each sample a reading
    };
    for (const Case& c : cases) {
        EXPECT_EQ((ReadingAperture{c.cycles, c.lineHz}.SamplesPerReading(c.rate)), c.samples)
            << c.cycles << " cycles at " << c.lineHz << " Hz";
    }
}

TEST(Readings, EachIsTheExactMeanOfItsCodesAndAShortLastGroupMakesNone) {
    // Codes far from mid-scale whose sum overflows 32 bits: the mean stays exact.
    const std::vector<std::int32_t> codes = {16777215, 16777214, 16777215, 16777214,
                                             16777215, 0,        1,        2};
    const std::vector<double> volts = Readings::MeanVolts(codes, 3, 1);
    ASSERT_EQ(volts.size(), 2U);
    const double firstOffset = (16777215.0 + 16777214.0 + 16777215.0) / 3.0 - kMidScaleCode;
    EXPECT_DOUBLE_EQ(volts[0], OffsetToMicrovolts(firstOffset, 1) / 1e6);
    EXPECT_DOUBLE_EQ(
        volts[1],
        OffsetToMicrovolts((16777214.0 + 16777215.0 + 0.0) / 3.0 - kMidScaleCode, 1) / 1e6);
    // A group of one is the code rule of one sample.
    const std::vector<double> single = Readings::MeanVolts(codes, 1, 8);
    ASSERT_EQ(single.size(), codes.size());
    EXPECT_DOUBLE_EQ(single[7], CodeToMicrovolts(2, 8) / 1e6);
    EXPECT_TRUE(Readings::MeanVolts(codes, 9, 1).empty());
}

TEST(ReadingMath, NullThenScaleThenLimitsInTheScaledUnit) {
    ReadingMath math;
    EXPECT_DOUBLE_EQ(math.Apply(0.25), 0.25) << "off: volts as they are";
    EXPECT_EQ(math.Unit(), "V");
    math.null = {true, 0.2};
    math.scale = {true, 1000.0, 5.0, "mV/V"};
    EXPECT_DOUBLE_EQ(math.Apply(0.25), 1000.0 * (0.25 - 0.2) + 5.0);
    EXPECT_EQ(math.Unit(), "mV/V");
    math.scale.fOn = false;
    EXPECT_DOUBLE_EQ(math.Apply(0.25), 0.25 - 0.2);
    EXPECT_EQ(math.Unit(), "V") << "an unused scale's unit is not given";

    math.limit = {false, -1.0, 1.0};
    EXPECT_EQ(math.Check(5.0), ReadingMath::Verdict::Inside) << "limits off";
    math.limit.fOn = true;
    EXPECT_EQ(math.Check(-1.0), ReadingMath::Verdict::Inside) << "the limits themselves pass";
    EXPECT_EQ(math.Check(1.0), ReadingMath::Verdict::Inside);
    EXPECT_EQ(math.Check(std::nextafter(-1.0, -2.0)), ReadingMath::Verdict::Low);
    EXPECT_EQ(math.Check(std::nextafter(1.0, 2.0)), ReadingMath::Verdict::High);
}

}  // namespace
