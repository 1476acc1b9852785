// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/StatusTexts.h"

#include <algorithm>
#include <cmath>

#include "common/FixedText.h"
#include "measure/Measurement.h"

namespace {

QString Decimal(std::int64_t value) {
    return QString::number(value);
}

QString Fixed(double value, int decimals) {
    return QString::fromStdString(FixedText(value, decimals));
}

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
int UnitDecimals(double deviation, const QString& unit) {
    constexpr int kWithoutSpread = 6;
    constexpr int kMostDecimals = 12;
    if (unit == QStringLiteral("uV")) {
        return VoltDecimals(deviation);
    }
    if (!(deviation > 0.0)) {
        return kWithoutSpread;
    }
    return std::clamp(2 - static_cast<int>(std::floor(std::log10(deviation))), 0, kMostDecimals);
}

QString WithUnit(const QString& number, const QString& unit) {
    return unit.isEmpty() ? number : number + '[' + unit + ']';
}

QString StatisticsHead(int channel) {
    return QStringLiteral("CH") + Decimal(channel) + QStringLiteral(" : 最大値：");
}

}  // namespace

namespace StatusTexts {

QString BoardIdentity(const QString& name, const QString& version) {
    return name + QStringLiteral(" / ") + version;
}

QString BoardNotFound(const QString& deviceName) {
    return deviceName + QStringLiteral(" が見つかりませんでした");
}

// No particle before the verb here, unlike the other two connection texts.
QString BoardNoResponse(const QString& deviceName) {
    return deviceName + QStringLiteral(" 応答しませんでした");
}

QString BoardError(const QString& deviceName) {
    return deviceName + QStringLiteral(" がエラーです");
}

QString Measuring() {
    return QStringLiteral("計測中です");
}

QString Finished() {
    return QStringLiteral("計測終了しました");
}

QString Stopped() {
    return QStringLiteral("計測中止しました");
}

QString Loaded() {
    return QStringLiteral("データファイル読み込みました");
}

QString Saved() {
    return QStringLiteral("データファイルを保存しました");
}

QString Starting() {
    return QStringLiteral("測定開始処理中です。。。");
}

QString MeasureError() {
    return QStringLiteral("計測エラーで終了");
}

QString Progress(std::int32_t number, std::int32_t code) {
    return QStringLiteral("データ番号：") + Decimal(number) + QStringLiteral(" / AD変換値：") +
           Decimal(code);
}

QString ProgressTwo(std::int32_t number, std::int32_t ch0Code, std::int32_t ch1Code) {
    return Progress(number, ch0Code) + QStringLiteral(" / ") + Decimal(ch1Code);
}

QString CodeStatistics(std::int32_t maximum, std::int32_t minimum, double deviation, int channel) {
    const std::int64_t peakToPeak = std::int64_t{maximum} - minimum;
    return StatisticsHead(channel) + Decimal(maximum) + QStringLiteral(" / 最小値：") +
           Decimal(minimum) + QStringLiteral(" / pp値：") + Decimal(peakToPeak) +
           QStringLiteral(" digit / 標準偏差：") +
           Fixed(deviation, CodeDeviationDecimals(deviation)) + QStringLiteral(" digit");
}

QString VoltStatistics(int channel, double maximum, double minimum, double deviation) {
    return UnitStatistics(channel, maximum, minimum, deviation, QStringLiteral("uV"));
}

// The peak-to-peak value comes from the values as passed, not from their rounded texts.
QString UnitStatistics(int channel, double maximum, double minimum, double deviation,
                       const QString& unit) {
    const int decimals = UnitDecimals(deviation, unit);
    const auto number = [decimals, &unit](double value) {
        return WithUnit(Fixed(value, decimals), unit);
    };
    return StatisticsHead(channel) + number(maximum) + QStringLiteral(" / 最小値：") +
           number(minimum) + QStringLiteral(" / pp値：") + number(maximum - minimum) +
           QStringLiteral(" / 標準偏差：") + number(deviation);
}

QString UnitValue(double value, double deviation, const QString& unit) {
    return WithUnit(Fixed(value, UnitDecimals(deviation, unit)), unit);
}

QString Statistics(const Measurement& data, int channel, bool fVolt) {
    const Measurement::Extremes extremes = data.ExtremesOf(channel);
    const ChannelStatistics& stats = data.Statistics(channel);
    if (fVolt) {
        return VoltStatistics(channel, extremes.maxMicrovolts, extremes.minMicrovolts,
                              stats.MicrovoltStdDev);
    }
    return CodeStatistics(extremes.maxCode, extremes.minCode, stats.CodeStdDev, channel);
}

}  // namespace StatusTexts
