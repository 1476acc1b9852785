// SPDX-License-Identifier: GPL-3.0-or-later
// The graph's scale steps and label formats on explicit values, without any window.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "common/FixedText.h"
#include "graph/Graph_2ch.h"

namespace {

float Above(float value) {
    return std::nextafter(value, std::numeric_limits<float>::infinity());
}

TEST(GraphCodeSpan, EachLimitKeepsItsSpanAndOneMoreTakesTheNext) {
    struct Step {
        std::int64_t limit;
        std::int32_t span;
    };
    const Step steps[] = {{8, 10},
                          {16, 20},
                          {40, 50},
                          {80, 100},
                          {160, 200},
                          {400, 500},
                          {800, 1000},
                          {1600, 2000},
                          {4000, 5000},
                          {8000, 10000},
                          {16000, 20000},
                          {40000, 50000},
                          {80000, 100000},
                          {160000, 200000},
                          {400000, 500000},
                          {800000, 1000000},
                          {1600000, 2000000},
                          {4000000, 5000000},
                          {8000000, 10000000}};
    const std::size_t count = std::size(steps);
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t next = i + 1 < count ? steps[i + 1].span : 20000000;
        EXPECT_EQ(TGraph_2CH::CodeSpanOf(steps[i].limit), steps[i].span) << steps[i].limit;
        EXPECT_EQ(TGraph_2CH::CodeSpanOf(steps[i].limit + 1), next) << steps[i].limit + 1;
    }
    EXPECT_EQ(TGraph_2CH::CodeSpanOf(0), 10);
    EXPECT_EQ(TGraph_2CH::CodeSpanOf(-16777215), 10);  // both series empty
    EXPECT_EQ(TGraph_2CH::CodeSpanOf(16777215), 20000000);
}

TEST(GraphCodeBase, CentreLessHalfSpanTruncatedToHalfGridSteps) {
    struct Row {
        std::int32_t maximum, minimum, span, base;
    };
    const Row rows[] = {
        {8388700, 8388600, 200, 8388550},   // q = 10, already a multiple
        {8388611, 8388605, 10, 8388603},    // span 10: no rounding
        {8388620, 8388607, 20, 8388603},    // span 20: q = 1, unchanged
        {8388641, 8388608, 50, 8388598},    // b = 8388599, q = 2
        {8388999, 8388001, 2000, 8387500},  // b = 8387500
        {8389049, 8388001, 2000, 8387500},  // b = 8387525 -> down to 8387500
        {-5, -35, 50, -44},                 // negative b truncates toward zero
        {0, 16777215, 10, 8388602},         // both series empty
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TGraph_2CH::CodeBaseOf(row.maximum, row.minimum, row.span), row.base)
            << row.maximum << " " << row.minimum << " " << row.span;
    }
}

TEST(GraphVoltSpan, LimitsAtEightyPercentWithDoubleComparisonsForFractions) {
    struct Row {
        float difference, span;
    };
    const Row rows[] = {
        {0.0F, 0.2F},
        {-5.0F, 0.2F},
        {0.16F, 0.2F},  // the float nearest 0.16 lies below 0.16
        {Above(0.16F), 0.5F},
        {0.4F, 1.0F},  // the float nearest 0.4 lies above 0.4 (as double)
        {0.39999998F, 0.5F},
        {1.6F, 5.0F},  // likewise above 1.6
        {4.0F, 5.0F},
        {Above(4.0F), 10.0F},
        {14.901161F, 20.0F},
        {596.046448F, 1000.0F},
        {800.0F, 1000.0F},
        {Above(800.0F), 2000.0F},
        {4000000.0F, 5000000.0F},
        {Above(4000000.0F), 6000000.0F},
        {5000000.6F, 6000000.0F},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TGraph_2CH::VoltSpanOf(row.difference), row.span) << row.difference;
    }
    EXPECT_EQ(TGraph_2CH::VoltSpanOf(0.1F), static_cast<float>(0.2));
}

TEST(GraphVoltBase, NearestWholeGridStepHalvesAwayFromZero) {
    struct Row {
        float maximum, minimum, span, base;
    };
    const Row rows[] = {
        {29.802322F, 14.901161F, 20.0F, 12.0F},       // c = 12.35
        {894.069672F, 298.023224F, 1000.0F, 100.0F},  // c = 96.05
        {13.0F, 13.0F, 20.0F, 4.0F},                  // c = 3: 1.5 steps -> 2 steps
        {7.0F, 7.0F, 20.0F, -4.0F},                   // c = -3: -1.5 steps -> -2 steps
        {12.9F, 12.9F, 20.0F, 2.0F},                  // c = 2.9: 1.45 steps -> 1 step
        {7.1F, 7.1F, 20.0F, -2.0F},                   // c = -2.9: -1.45 steps -> -1 step
        {0.0F, 0.0F, 0.2F, -0.1F},                    // c = -0.1: exactly -5 steps of 0.02
    };
    for (const auto& row : rows) {
        EXPECT_FLOAT_EQ(TGraph_2CH::VoltBaseOf(row.maximum, row.minimum, row.span), row.base)
            << row.maximum << " " << row.minimum << " " << row.span;
    }
}

TEST(GraphVoltUnit, SwitchesAbove200AndAbove200000OfSpanOrBase) {
    struct Row {
        float span, base;
        const char* unit;
        float scaledSpan, scaledBase;
    };
    const Row rows[] = {
        {200.0F, 0.0F, "uV", 200.0F, 0.0F},
        {200.9F, 0.0F, "uV", 200.9F, 0.0F},  // truncated to 200
        {20.0F, -200.0F, "uV", 20.0F, -200.0F},
        {20.0F, 201.0F, "mV", 0.02F, 0.201F},
        {20.0F, -201.0F, "mV", 0.02F, -0.201F},
        {1000.0F, 100.0F, "mV", 1.0F, 0.1F},
        {200000.0F, 0.0F, "mV", 200.0F, 0.0F},
        {0.2F, 200001.0F, "V", 0.0000002F, 0.200001F},
        {6000000.0F, -3000000.0F, "V", 6.0F, -3.0F},
    };
    for (const auto& row : rows) {
        const auto unit = TGraph_2CH::VoltUnitOf(row.span, row.base);
        EXPECT_EQ(unit.unit.toStdString(), row.unit) << row.span << " " << row.base;
        EXPECT_FLOAT_EQ(unit.scaledSpan, row.scaledSpan);
        EXPECT_FLOAT_EQ(unit.scaledBase, row.scaledBase);
    }
}

TEST(GraphLabelFormat, DecimalsFollowTheScaledSpanOfTheWholeAxis) {
    struct Row {
        float scaledSpan;
        int decimals;
    };
    const Row rows[] = {
        {0.0002F, 5},      {0.001F, 5}, {Above(0.001F), 4}, {0.01F, 4},       {0.02F, 3},
        {0.1F, 3},         {0.2F, 2},   {1.0F, 2},          {Above(1.0F), 1}, {10.0F, 1},
        {Above(10.0F), 0}, {100.0F, 0}, {500.0F, 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TGraph_2CH::VoltLabelDecimals(row.scaledSpan), row.decimals) << row.scaledSpan;
    }
}

TEST(GraphLabelFormat, FixedPointTexts) {
    struct Row {
        double value;
        int decimals;
        const char* text;
    };
    const Row rows[] = {
        {9.999, 2, "10.00"},
        {99.99, 1, "100.0"},
        {-11.9, 2, "-11.90"},
        {1.1, 2, "1.10"},
        {0.1, 2, "0.10"},
        {12.6, 0, "13"},
        {1234567.0, 0, "1234567"},
        {1234567.26, 1, "1234567.3"},
        {0.0, 2, "0.00"},
        {-0.001, 2, "0.00"},
        {-0.0, 0, "0"},
        {-0.4, 0, "0"},
        {-0.6, 0, "-1"},
        {0.00002, 5, "0.00002"},
        {2500000.0, 3, "2500000.000"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FixedText(row.value, row.decimals), row.text) << row.value;
    }
}

TEST(GraphLabelFormat, VoltLabelsCarryTheUnitOnlyAtTopAndBottom) {
    const auto unit = TGraph_2CH::VoltUnitOf(1000.0F, 100.0F);
    const char* expected[] = {"1.10mV", "1.00", "0.90", "0.80", "0.70",  "0.60",
                              "0.50",   "0.40", "0.30", "0.20", "0.10mV"};
    for (int i = 0; i < TGraph_2CH::kYLabelCount; ++i) {
        EXPECT_EQ(TGraph_2CH::VoltYLabelText(unit, i).toStdString(), expected[i]) << i;
    }
}

TEST(GraphLabelFormat, VoltLabelsAcrossZeroKeepTheirSigns) {
    const auto unit = TGraph_2CH::VoltUnitOf(20.0F, -10.0F);
    EXPECT_EQ(TGraph_2CH::VoltYLabelText(unit, 0).toStdString(), "10uV");
    EXPECT_EQ(TGraph_2CH::VoltYLabelText(unit, 5).toStdString(), "0");
    EXPECT_EQ(TGraph_2CH::VoltYLabelText(unit, 6).toStdString(), "-2");
    EXPECT_EQ(TGraph_2CH::VoltYLabelText(unit, 10).toStdString(), "-10uV");
    // A value just below zero that rounds to zero reads as plain zero.
    EXPECT_EQ(TGraph_2CH::VoltLabelText(-0.001F, 1.0F).toStdString(), "0.00");
    EXPECT_EQ(TGraph_2CH::VoltLabelText(-0.006F, 1.0F).toStdString(), "-0.01");
    EXPECT_EQ(TGraph_2CH::VoltLabelText(-0.4F, 20.0F).toStdString(), "0");
}

TEST(GraphLabelFormat, CodeLabelsRunDownFromBasePlusSpan) {
    EXPECT_EQ(TGraph_2CH::CodeLabelText(200, 8388550, 0).toStdString(), "8388750");
    EXPECT_EQ(TGraph_2CH::CodeLabelText(200, 8388550, 1).toStdString(), "8388730");
    EXPECT_EQ(TGraph_2CH::CodeLabelText(200, 8388550, 10).toStdString(), "8388550");
    EXPECT_EQ(TGraph_2CH::CodeLabelText(50, -44, 3).toStdString(), "-9");
}

TEST(GraphXLabels, EmptyAndWindowTexts) {
    const auto empty = TGraph_2CH::EmptyXLabelTexts();
    EXPECT_EQ(empty[0].toStdString(), "1");
    EXPECT_EQ(empty[1].toStdString(), "1000");
    const auto window = TGraph_2CH::WindowXLabelTexts(100, 199);
    EXPECT_EQ(window[0].toStdString(), "101");
    EXPECT_EQ(window[1].toStdString(), "200");
}

TEST(GraphPixels, WindowSamplesSpreadOverTheWidth) {
    const float step = TGraph_2CH::WindowXStep(558, 100, 199);
    EXPECT_FLOAT_EQ(step, 556.0F / 99.0F);
    EXPECT_EQ(TGraph_2CH::SampleX(100, 100, step), 1);
    EXPECT_EQ(TGraph_2CH::SampleX(199, 100, step), 557);
    EXPECT_EQ(TGraph_2CH::SampleX(101, 100, step), 6);  // trunc(5.6) + 1
}

}  // namespace
