// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/StatusTexts.h"

#include "measure/StatusLineText.h"

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
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
    return Text(StatusLineText::kMeasuring);
}

QString Finished() {
    return Text(StatusLineText::kFinished);
}

QString Stopped() {
    return Text(StatusLineText::kStopped);
}

QString Loaded() {
    return QStringLiteral("データファイル読み込みました");
}

QString Saved() {
    return QStringLiteral("データファイルを保存しました");
}

QString Starting() {
    return Text(StatusLineText::kStarting);
}

QString MeasureError() {
    return Text(StatusLineText::kMeasureError);
}

QString Progress(std::int32_t number, std::int32_t code) {
    return Text(StatusLineText::Progress(number, code));
}

QString ProgressTwo(std::int32_t number, std::int32_t ch0Code, std::int32_t ch1Code) {
    return Text(StatusLineText::ProgressTwo(number, ch0Code, ch1Code));
}

QString CodeStatistics(std::int32_t maximum, std::int32_t minimum, double deviation, int channel) {
    return Text(StatusLineText::CodeStatistics(maximum, minimum, deviation, channel));
}

QString VoltStatistics(int channel, double maximum, double minimum, double deviation) {
    return Text(StatusLineText::VoltStatistics(channel, maximum, minimum, deviation));
}

QString Statistics(const Measurement& data, int channel, bool fVolt) {
    return Text(StatusLineText::Statistics(data, channel, fVolt));
}

QString UnitStatistics(int channel, double maximum, double minimum, double deviation,
                       const QString& unit) {
    return Text(
        StatusLineText::UnitStatistics(channel, maximum, minimum, deviation, unit.toStdString()));
}

QString UnitValue(double value, double deviation, const QString& unit) {
    return Text(StatusLineText::UnitValue(value, deviation, unit.toStdString()));
}

}  // namespace StatusTexts
