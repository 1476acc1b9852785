// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/StatusLineText.h"

#include "common/FixedText.h"
#include "measure/Measurement.h"

namespace {

// A code deviation shows two decimals below 10, else one.
int CodeDeviationDecimals(double deviation) {
    return deviation >= 10.0 ? 1 : 2;
}

// All four microvolt numbers take the decimals the deviation calls for.
int VoltDecimals(double deviation) {
    if (deviation >= 100.0) {
        return 0;
    }
    return deviation >= 10.0 ? 1 : 2;
}

std::string StatisticsHead(int channel) {
    return "CH" + std::to_string(channel) + " : 最大値：";
}

}  // namespace

namespace StatusLineText {

std::string Progress(std::int32_t number, std::int32_t code) {
    return "データ番号：" + std::to_string(number) + " / AD変換値：" + std::to_string(code);
}

std::string ProgressTwo(std::int32_t number, std::int32_t ch0Code, std::int32_t ch1Code) {
    return Progress(number, ch0Code) + " / " + std::to_string(ch1Code);
}

std::string CodeStatistics(std::int32_t maximum, std::int32_t minimum, double deviation,
                           int channel) {
    const std::int64_t peakToPeak = std::int64_t{maximum} - minimum;
    return StatisticsHead(channel) + std::to_string(maximum) + " / 最小値：" +
           std::to_string(minimum) + " / pp値：" + std::to_string(peakToPeak) +
           " digit / 標準偏差：" + FixedText(deviation, CodeDeviationDecimals(deviation)) +
           " digit";
}

// The peak-to-peak value comes from the values as passed, not from their rounded texts.
std::string VoltStatistics(int channel, double maximum, double minimum, double deviation) {
    const int decimals = VoltDecimals(deviation);
    const double peakToPeak = maximum - minimum;
    return StatisticsHead(channel) + FixedText(maximum, decimals) + "[uV] / 最小値：" +
           FixedText(minimum, decimals) + "[uV] / pp値：" + FixedText(peakToPeak, decimals) +
           "[uV] / 標準偏差：" + FixedText(deviation, decimals) + "[uV]";
}

std::string Statistics(const Measurement& data, int channel, bool fVolt) {
    const Measurement::Extremes extremes = data.ExtremesOf(channel);
    const ChannelStatistics& stats = data.Statistics(channel);
    if (fVolt) {
        return VoltStatistics(channel, extremes.maxMicrovolts, extremes.minMicrovolts,
                              stats.MicrovoltStdDev);
    }
    return CodeStatistics(extremes.maxCode, extremes.minCode, stats.CodeStdDev, channel);
}

}  // namespace StatusLineText
