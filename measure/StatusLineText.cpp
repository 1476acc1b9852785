// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/StatusLineText.h"

#include <algorithm>
#include <cmath>

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

// In a unit of the user's the same rule goes on below 1: two digits of the deviation's
// first decimal place at least; six decimals where there is no spread to go by.
int UnitDecimals(double deviation, const std::string& unit) {
    constexpr int kWithoutSpread = 6;
    constexpr int kMostDecimals = 12;
    if (unit == "uV") {
        return VoltDecimals(deviation);
    }
    if (!(deviation > 0.0)) {
        return kWithoutSpread;
    }
    return std::clamp(2 - static_cast<int>(std::floor(std::log10(deviation))), 0, kMostDecimals);
}

std::string WithUnit(const std::string& number, const std::string& unit) {
    return unit.empty() ? number : number + '[' + unit + ']';
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

std::string VoltStatistics(int channel, double maximum, double minimum, double deviation) {
    return UnitStatistics(channel, maximum, minimum, deviation, "uV");
}

// The peak-to-peak value comes from the values as passed, not from their rounded texts.
std::string UnitStatistics(int channel, double maximum, double minimum, double deviation,
                           const std::string& unit) {
    const int decimals = UnitDecimals(deviation, unit);
    const auto number = [decimals, &unit](double value) {
        return WithUnit(FixedText(value, decimals), unit);
    };
    return StatisticsHead(channel) + number(maximum) + " / 最小値：" + number(minimum) +
           " / pp値：" + number(maximum - minimum) + " / 標準偏差：" + number(deviation);
}

std::string UnitValue(double value, double deviation, const std::string& unit) {
    return WithUnit(FixedText(value, UnitDecimals(deviation, unit)), unit);
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
