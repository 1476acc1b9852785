// SPDX-License-Identifier: GPL-3.0-or-later
// The graph model over real channel series, built without a paint box or labels.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "common/ChannelSeries.h"
#include "common/MeasureSettings.h"
#include "graph/Graph_2ch.h"

namespace {

class GraphModel : public ::testing::Test {
protected:
    // Puts codes (and their microvolts) into a channel and makes them its valid samples.
    void Fill(ChannelBuffer& channel, std::initializer_list<std::int32_t> codes) {
        int i = 0;
        for (const auto code : codes) {
            channel.Codes[i] = code;
            channel.Microvolts[i] = static_cast<float>(graph.CodeToMicrovolts(code));
            ++i;
        }
        channel.Series.Count = static_cast<std::int32_t>(codes.size());
    }

    std::vector<std::string> YLabels(bool fVoltMode) const {
        std::vector<std::string> texts;
        for (int i = 0; i < TGraph_2CH::kYLabelCount; ++i) {
            texts.push_back(graph.YLabelText(fVoltMode, i).toStdString());
        }
        return texts;
    }

    std::vector<std::string> EmptyYLabels(bool fVoltMode) const {
        std::vector<std::string> texts;
        for (int i = 0; i < TGraph_2CH::kYLabelCount; ++i) {
            texts.push_back(graph.EmptyYLabelText(fVoltMode, i).toStdString());
        }
        return texts;
    }

    static std::vector<std::string> Countdown(int top, int step) {
        std::vector<std::string> texts;
        for (int i = 0; i < TGraph_2CH::kYLabelCount; ++i) {
            texts.push_back(std::to_string(top - step * i));
        }
        return texts;
    }

    ChannelBuffer ch0;
    ChannelBuffer ch1;
    MeasureSettings settings;
    TGraph_2CH graph{nullptr, &ch0.Series, nullptr, nullptr, &settings, &ch1.Series};
};

TEST_F(GraphModel, CodeToMicrovoltsUsesTheDivisor8388607AndTheGain) {
    EXPECT_EQ(graph.CodeToMicrovolts(8388608), 0.0);
    EXPECT_NEAR(graph.CodeToMicrovolts(8388618), 2.98023259, 1e-8);
    EXPECT_EQ(graph.CodeToMicrovolts(16777215), 2500000.0);
    EXPECT_NEAR(graph.CodeToMicrovolts(0), -2500000.298, 1e-3);
    settings.GainFactor = 2;
    EXPECT_NEAR(graph.CodeToMicrovolts(8388618), 1.49011629, 1e-8);
}

TEST_F(GraphModel, ChannelReadersFindExtremesAndKeepThemWhenEmpty) {
    Fill(ch0, {8388610, 8388618, 8388600, 8388608});
    Fill(ch1, {100, 16777215, 5});
    EXPECT_EQ(graph.MaxCodeCH0(), 8388618);
    EXPECT_EQ(graph.MinCodeCH0(), 8388600);
    EXPECT_EQ(graph.MaxCodeCH1(), 16777215);
    EXPECT_EQ(graph.MinCodeCH1(), 5);
    EXPECT_FLOAT_EQ(graph.MaxMicrovoltsCH0(), 2.9802326F);
    EXPECT_FLOAT_EQ(graph.MinMicrovoltsCH0(), -2.3841861F);
    EXPECT_FLOAT_EQ(graph.MaxMicrovoltsCH1(), 2500000.0F);
    EXPECT_NEAR(graph.MinMicrovoltsCH1(), -2499998.8, 0.5);

    // An empty series reads 0 and leaves the stored extreme alone.
    ch0.Series.Count = 0;
    EXPECT_EQ(graph.MaxCodeCH0(), 0);
    EXPECT_EQ(graph.MinCodeCH0(), 0);
    EXPECT_FLOAT_EQ(graph.MaxMicrovoltsCH0(), 2.9802326F);
    EXPECT_FLOAT_EQ(graph.MinMicrovoltsCH0(), -2.3841861F);
}

TEST_F(GraphModel, StartValuesShowThroughForCodesOutsideTheConverterRange) {
    Fill(ch0, {-7, -3});
    Fill(ch1, {16777300, 16777400});
    EXPECT_EQ(graph.MaxCodeCH0(), 0);
    EXPECT_EQ(graph.MinCodeCH1(), 16777215);
}

TEST_F(GraphModel, CodeLabelsOfTheWorkedExamples) {
    struct Row {
        std::initializer_list<std::int32_t> codes;
        int top, step;
    };
    const Row rows[] = {
        {{8388650, 8388700, 8388600}, 8388750, 20},  // d 100: span 200, base 8388550
        {{8388611, 8388605, 8388608}, 8388613, 1},   // d 6: span 10, base 8388603
    };
    for (const auto& row : rows) {
        Fill(ch0, row.codes);
        graph.ComputeScales();
        EXPECT_EQ(YLabels(false), Countdown(row.top, row.step));
    }
}

TEST_F(GraphModel, VoltLabelsOfTheWorkedExamples) {
    Fill(ch0, {8388658, 8388708, 8388680});  // 14.90 and 29.80 uV
    graph.ComputeScales();
    EXPECT_EQ(YLabels(true), (std::vector<std::string>{"32uV", "30", "28", "26", "24", "22", "20",
                                                       "18", "16", "14", "12uV"}));

    Fill(ch1, {8389608, 8391608});  // 298.02 and 894.07 uV, with CH0 inside that range
    Fill(ch0, {8390000});
    graph.ComputeScales();
    EXPECT_EQ(YLabels(true),
              (std::vector<std::string>{"1.10mV", "1.00", "0.90", "0.80", "0.70", "0.60", "0.50",
                                        "0.40", "0.30", "0.20", "0.10mV"}));
}

TEST_F(GraphModel, VoltLabelsInVoltsForLargeSignals) {
    Fill(ch0, {16777215, 0});  // the whole input range
    graph.ComputeScales();
    const auto labels = YLabels(true);
    EXPECT_EQ(labels.front(), "3.0V");
    EXPECT_EQ(labels[5], "0.0");
    EXPECT_EQ(labels.back(), "-3.0V");
}

TEST_F(GraphModel, EmptyGraphLabels) {
    EXPECT_EQ(EmptyYLabels(false), Countdown(8388608, 10));
    EXPECT_EQ(EmptyYLabels(true),
              (std::vector<std::string>{"14.90", "11.92", "8.94", "5.96", "2.98", "0.00", "-2.98",
                                        "-5.96", "-8.94", "-11.92", "-14.90"}));
}

TEST_F(GraphModel, BothSeriesEmptyGiveTheSmallestSpan) {
    graph.ComputeScales();
    EXPECT_EQ(YLabels(false), Countdown(8388612, 1));  // base 8388602, span 10
}

TEST_F(GraphModel, ScanAllFollowsTheCountsNotTheChannelSetting) {
    settings.CHSel = 0;
    Fill(ch1, {8388700, 8388600});
    graph.ComputeScales();
    EXPECT_EQ(YLabels(false), Countdown(8388750, 20));
}

TEST_F(GraphModel, WindowScalesFollowTheChannelSettingNotTheCounts) {
    Fill(ch0, {1000000, 9000000});
    graph.ComputeScales();
    // During a run the counts are 0 and samples 100..199 have arrived.
    ch0.Series.Count = 0;
    for (int i = 100; i <= 199; ++i) {
        ch0.Codes[i] = 8388650;
        ch1.Codes[i] = 8388650;
    }
    ch0.Codes[150] = 12000000;
    ch1.Codes[100] = 8388600;
    ch1.Codes[199] = 8388700;

    settings.CHSel = 1;
    graph.ComputeWindowScales(100, 199);
    EXPECT_EQ(YLabels(false), Countdown(8388750, 20));

    // CH0's 12000000 joins in: d = 3611400, span 5000000, base 7694300 down to 7500000.
    settings.CHSel = 2;
    graph.ComputeWindowScales(100, 199);
    EXPECT_EQ(YLabels(false), Countdown(12500000, 500000));
}

TEST_F(GraphModel, CodeScaleLeavesTheVoltScaleAlone) {
    Fill(ch0, {8388658, 8388708});
    graph.ComputeScales();
    Fill(ch0, {8388700, 8388600});
    graph.ComputeCodeScale();
    EXPECT_EQ(YLabels(false), Countdown(8388750, 20));
    EXPECT_EQ(YLabels(true).front(), "32uV");
}

TEST_F(GraphModel, AxisCountPrefersCh1AndSpansAtLeast100Samples) {
    struct Row {
        int ch0Count, ch1Count, axisCount;
    };
    const Row rows[] = {{0, 0, 100},     {0, 1000, 1000}, {0, 50, 100},         {2000, 500, 500},
                        {2000, 0, 2000}, {101, 0, 101},   {10000, 10000, 10000}};
    for (const auto& row : rows) {
        ch0.Series.Count = row.ch0Count;
        ch1.Series.Count = row.ch1Count;
        EXPECT_EQ(graph.AxisCount(), row.axisCount) << row.ch0Count << " " << row.ch1Count;
        EXPECT_EQ(graph.AllXLabelTexts()[0].toStdString(), "1");
        EXPECT_EQ(graph.AllXLabelTexts()[1].toStdString(), std::to_string(row.axisCount));
    }
}

TEST_F(GraphModel, SamplesOfAllDataSpreadOverTheBitmap) {
    const int width = 558;
    ch1.Series.Count = 1000;
    float step = graph.AllXStep(width);
    EXPECT_EQ(TGraph_2CH::SampleX(0, 0, step), 1);
    EXPECT_EQ(TGraph_2CH::SampleX(999, 0, step), width - 1);

    ch1.Series.Count = 50;  // the axis still spans 100 samples: about half the width
    step = graph.AllXStep(width);
    EXPECT_EQ(TGraph_2CH::SampleX(49, 0, step), 276);
}

TEST_F(GraphModel, ScaleTopMapsToRowZeroAndBaseBelowTheLastRow) {
    const int height = 367;
    Fill(ch0, {8388700, 8388600});  // code scale 8388550 .. 8388750
    graph.ComputeScales();
    EXPECT_EQ(graph.CodeY(8388750, height), 0);
    EXPECT_EQ(graph.CodeY(8388650, height), 183);
    EXPECT_EQ(graph.CodeY(8388550, height), height);
    EXPECT_EQ(graph.CodeY(8388551, height), 365);  // trunc(367 * 0.995)

    Fill(ch0, {8388658, 8388708});  // volt scale 12 .. 32 uV
    graph.ComputeScales();
    EXPECT_EQ(graph.MicrovoltsY(32.0F, height), 0);
    EXPECT_EQ(graph.MicrovoltsY(22.0F, height), 183);
    EXPECT_EQ(graph.MicrovoltsY(12.0F, height), height);
}

}  // namespace
