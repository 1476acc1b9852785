// SPDX-License-Identifier: GPL-3.0-or-later
// The numbers on every chart's axes: round values for any range.

#include <gtest/gtest.h>

#include <QStringList>
#include <cmath>
#include <tuple>

#include "charts/RoundTickAxis.h"

namespace {

// The edges of the rule: inside one decade, over one and a half, seven decades, a microvolt
// axis across zero and near full scale, and codes over three codes.
TEST(ChartsRoundTickAxis, TicksStandAtRoundValuesForAnyRange) {
    using Scale = RoundTickAxis::Scale;
    const std::tuple<double, double, Scale, QString> rows[] = {
        {std::log10(2.3), std::log10(4.1), Scale::Log, "2.5 3.0 3.5 4.0"},
        {std::log10(3.0), std::log10(150.0), Scale::Log, "5 10 20 50 100"},
        {-5.2, 1.1, Scale::Log, "0.00001 0.0001 0.001 0.01 0.1 1 10"},
        {-1.7, 9.8, Scale::Linear, "0 2 4 6 8"},
        {1250000.011, 1250000.0125, Scale::Linear,
         "1250000.0110 1250000.0115 1250000.0120 1250000.0125"},
        {8388619.5, 8388622.5, Scale::Whole, "8388620 8388621 8388622"},
    };
    for (const auto& [min, max, scale, labels] : rows) {
        QStringList shown;
        for (const RoundTickAxis::Tick& tick : RoundTickAxis::Ticks(min, max, scale)) {
            shown << tick.label;
        }
        EXPECT_EQ(shown.join(' '), labels);
    }
}

}  // namespace
