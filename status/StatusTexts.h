// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>

class Measurement;

// Every text of the window's status bar, without a status bar: the window puts them into its
// panels (TmyStatus), the command line and the recording window print or show them as they
// are. Numbers are fixed-point with a "." whatever the locale, without grouping; a negative
// value that rounds to zero reads as zero without a sign.
namespace StatusTexts {

inline const QString kChannelSwitchHint =
    QStringLiteral("クリックすると CH0 と CH1 の統計を切り替えます");

QString BoardIdentity(const QString& name, const QString& version);
QString BoardNotFound(const QString& deviceName);
QString BoardNoResponse(const QString& deviceName);
QString BoardError(const QString& deviceName);
QString Measuring();
QString Finished();
QString Stopped();
QString Loaded();
QString Saved();
QString Starting();
QString MeasureError();
QString Progress(std::int32_t number, std::int32_t code);
QString ProgressTwo(std::int32_t number, std::int32_t ch0Code, std::int32_t ch1Code);
QString CodeStatistics(std::int32_t maximum, std::int32_t minimum, double deviation, int channel);
QString VoltStatistics(int channel, double maximum, double minimum, double deviation);
// The microvolt line in any unit (readings scaled to mV/V, °C, kg): the numbers take as many
// decimals as the deviation calls for, the window's own in "uV"; an empty unit has no brackets.
QString UnitStatistics(int channel, double maximum, double minimum, double deviation,
                       const QString& unit);
// One value in a unit with the decimals its statistics line gives it ("4.00[uV]").
QString UnitValue(double value, double deviation, const QString& unit);
// One channel's statistics line of a measurement (its extremes and deviation), in microvolts
// or codes.
QString Statistics(const Measurement& data, int channel, bool fVolt);

}  // namespace StatusTexts
