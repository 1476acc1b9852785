// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-cli measure with a sine on the simulated board's CH0, set by the keys of
// --device sim:...: the saved run holds the sine that was set.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "analysis/DynamicFigures.h"
#include "tests/CliTestSupport.h"

namespace {

class CliSimSine : public CliFixture {};

TEST_F(CliSimSine, MeasuredRunHoldsTheSetSine) {
    const CliResult measured =
        Run({"measure", "--device", "sim:sine=1000.3,amp=1000000,hd2=-80,hd3=-90", "--rate",
             "31250", "--count", "10000", "--output", "sine.DTA"});
    ASSERT_EQ(measured.exitCode, 0) << measured.err.toStdString();
    std::vector<std::int32_t> codes;
    for (const QString& line : DataLines(Path("sine.DTA"))) {
        codes.push_back(line.toInt());
    }
    ASSERT_EQ(codes.size(), 10000u);
    const DynamicFigures figures = DynamicFigures::Compute(codes, 31250.0);
    ASSERT_TRUE(figures.sine);
    const SineFigures& sine = *figures.sine;
    EXPECT_NEAR(sine.fundamentalHz, 1000.3, 0.03);  // a hundredth of a bin
    EXPECT_NEAR(sine.fundamentalDbfs, 20.0 * std::log10(1e6 / 2.5e6), 0.01);
    ASSERT_GE(sine.harmonics.size(), 2u);
    EXPECT_EQ(sine.harmonics[0].order, 2);
    EXPECT_NEAR(sine.harmonics[0].dbc, -80.0, 0.3);
    EXPECT_EQ(sine.harmonics[1].order, 3);
    EXPECT_NEAR(sine.harmonics[1].dbc, -90.0, 0.3);
    // Over the 5 µV rms the simulator gives at 31250 per second.
    EXPECT_NEAR(*sine.snrDb, 10.0 * std::log10(5e11 / 25.0), 0.5);
}

TEST_F(CliSimSine, AShapeWithoutAFrequencyIsRefused) {
    const CliResult refused = Run(
        {"measure", "--device", "sim:amp=1000,hd2=-80", "--count", "100", "--output", "none.DTA"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains("シミュレータの設定には sine も必要です: hd2=-80"))
        << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("none.DTA")));
}

}  // namespace
