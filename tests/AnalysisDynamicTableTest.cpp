// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of the dynamic figures as the window and the command line show them: where a
// harmonic landed and whether it folded, and why one is left out.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/DynamicFigureTable.h"
#include "analysis/DynamicFigures.h"
#include "common/Codes.h"

namespace {

constexpr double kRate = 31250.0;

// A sine of `peak` µV with harmonics at the given levels (dBc, index 0 the second), quantised.
std::vector<std::int32_t> Codes(double hz, double peak, std::vector<double> harmonicsDbc,
                                std::size_t n) {
    std::vector<std::int32_t> codes;
    for (std::size_t i = 0; i < n; ++i) {
        const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(i) / kRate;
        double uv = peak * std::sin(phase);
        for (std::size_t h = 0; h < harmonicsDbc.size(); ++h) {
            uv += peak * std::pow(10.0, harmonicsDbc[h] / 20.0) *
                  std::sin(static_cast<double>(h + 2) * phase);
        }
        codes.push_back(kMidScaleCode +
                        static_cast<std::int32_t>(std::lround(uv / kMicrovoltsPerCode)));
    }
    return codes;
}

const NoiseFigure& Row(const std::vector<NoiseFigure>& rows, const std::string& name) {
    for (const NoiseFigure& row : rows) {
        if (row.name == name) {
            return row;
        }
    }
    throw std::runtime_error("no row " + name);
}

// 9 kHz at 31250 per second: the second harmonic lands at 13250 Hz, the third at 4250 Hz.
TEST(AnalysisDynamicTable, FoldedHarmonicsSayWhereTheyLanded) {
    const auto codes = Codes(9000.0, 2e6, {-80.0, -70.0}, 65536);
    const DynamicFigures figures = DynamicFigures::Compute(codes, kRate);
    const std::vector<NoiseFigure> rows = DynamicFigureTable::Rows(figures, 65536);
    ASSERT_EQ(rows.size(), 28U);
    const NoiseFigure& second = Row(rows, "第2高調波");
    ASSERT_TRUE(second.value);
    EXPECT_NEAR(*second.value, -80.0, 0.3);
    EXPECT_EQ(second.unit, "dBc");
    EXPECT_EQ(second.note, "13250.000 Hz（折り返し）");
    EXPECT_EQ(NoiseFigureTable::ValueText(Row(rows, "第3高調波")).substr(0, 4), "-70.");
    EXPECT_EQ(Row(rows, "第3高調波").note, "4250.000 Hz（折り返し）");
    EXPECT_EQ(Row(rows, "THD").note, "第2〜第6高調波");
    EXPECT_EQ(Row(rows, "FFT のデータ数").note, "");
    // The same codes as the head of a longer series.
    EXPECT_EQ(DynamicFigureTable::Rows(figures, 100000)[0].note, "先頭の 65536 データ");
}

// At a quarter of the rate every odd harmonic folds onto the fundamental and every fourth onto
// 0 Hz: left out, and said so; the second, at half the rate, is counted and did not fold.
TEST(AnalysisDynamicTable, HarmonicsOnOtherTonesAreLeftOutAndSaidSo) {
    const auto codes = Codes(kRate / 4, 1e6, {-90.0}, 8192);
    const std::vector<NoiseFigure> rows =
        DynamicFigureTable::Rows(DynamicFigures::Compute(codes, kRate), 8192);
    EXPECT_EQ(Row(rows, "第2高調波").note, "15625.000 Hz");
    for (const char* name : {"第3高調波", "第4高調波", "第5高調波", "第6高調波"}) {
        EXPECT_FALSE(Row(rows, name).value) << name;
        EXPECT_EQ(Row(rows, name).note, DynamicFigureTable::kLeftOutHarmonicText) << name;
    }
}

}  // namespace
