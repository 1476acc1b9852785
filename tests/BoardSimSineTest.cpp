// SPDX-License-Identifier: GPL-3.0-or-later
// The sine the simulated board puts on CH0: the set wave exactly, on top of the noise the
// same seed gives without it, running on from run to run and across a change of rate.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "tests/BoardSimFixture.h"

using namespace std::chrono_literals;

namespace {

// A frequency of 0 or beyond the range, an amplitude beyond the input range, a harmonic above
// the fundamental, and a shape without a frequency (which would make no sine) are refused.
TEST(BoardSimSine, RefusesASineItCannotMake) {
    for (const std::string text :
         {"sine=0", "sine=-50", "sine=2e6", "sine=1000,amp=-1", "sine=1000,amp=3e6",
          "sine=1000,hd2=3", "sine=1000,hd3=-80dB", "amp=1000", "hd2=-80", "seed=2,hd3=-90"}) {
        BoardOptions options;
        std::string error;
        EXPECT_FALSE(BoardOptions::Parse(text, &options, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(BoardSimSine, Ch0CarriesTheSetWaveOverTheSameNoise) {
    const SineInput sine{1000.3, 250000.0, -60.0, -70.0};
    SampleSource plain(7, 4.0, 1250000.0);
    SampleSource withSine(7, 4.0, 1250000.0, sine);
    // 3000 conversions at 31250 per second, then 2000 at 1007 per second (rate index 11).
    double seconds = 0.0;
    for (int i = 0; i < 5000; ++i) {
        const int rate = i < 3000 ? 16 : 11;
        const auto without = plain.NextMicrovolts(rate, true);
        const auto with = withSine.NextMicrovolts(rate, true);
        const double x = 2.0 * std::numbers::pi * 1000.3 * seconds;
        const double wave = 250000.0 * (std::sin(x) + 1e-3 * std::sin(2 * x) +
                                        std::pow(10.0, -3.5) * std::sin(3 * x));
        ASSERT_NEAR(with[0] - without[0], wave, 1e-4) << "conversion " << i;
        ASSERT_EQ(with[1], without[1]) << "conversion " << i;
        seconds += 1.0 / SampleRates::SamplesPerSecond(rate, true);
    }
}

// A sine set by the key list reaches the link's runs as the source makes it, and the second
// run goes on where the first stopped.
TEST(BoardSimSine, RunsCarryTheSineAndGoOnWithIt) {
    BoardOptions options;
    std::string error;
    ASSERT_TRUE(BoardOptions::Parse("seed=3,sine=440,amp=2000000,hd3=-90", &options, &error))
        << error;
    const int count = 1000;
    const auto codes = ExpectedCodes(options, 16, true, 2 * count);
    SimLink link(options);
    ASSERT_TRUE(link.adc.OpenBoard());
    ASSERT_TRUE(link.adc.SetDataRate(16));
    for (int first = 0; first < 2 * count; first += count) {
        SCOPED_TRACE(first);
        ASSERT_TRUE(link.adc.StartConversion(0, count));
        const auto run = ReadRun(link.adc, 0, count, 100, link.FakeWait(16, true, 10s));
        ASSERT_EQ(run.acquired, count);
        const std::vector<std::array<std::int32_t, 2>> expected(codes.begin() + first,
                                                                codes.begin() + first + count);
        ExpectSamples(run, expected, 0, 0, count);
    }
    // 2 V peak over 28 periods of 71 samples: the crests, half a sample from a sample at
    // most, lie within 2 V · (1 − cos(π / 71)), 2 mV, of their peaks.
    const auto [low, high] = std::minmax_element(
        codes.begin(), codes.end(), [](const auto& a, const auto& b) { return a[0] < b[0]; });
    EXPECT_NEAR(CodeToMicrovolts((*high)[0], 1), 2e6 + 4.0, 2000.0);
    EXPECT_NEAR(CodeToMicrovolts((*low)[0], 1), -2e6 + 4.0, 2000.0);
}

}  // namespace
