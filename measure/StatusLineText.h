// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

class Measurement;

// The status bar's texts of a run and its statistics lines, without Qt: the window shows them
// through StatusTexts, the instrument's web page as they are, so both read the same. Numbers
// are fixed-point with a "." whatever the locale, without grouping; a negative value that
// rounds to zero reads as zero without a sign.
namespace StatusLineText {

inline const std::string kMeasuring = "計測中です";
inline const std::string kFinished = "計測終了しました";
inline const std::string kStopped = "計測中止しました";
inline const std::string kMeasureError = "計測エラーで終了";
inline const std::string kStarting = "測定開始処理中です。。。";

// The progress of a run: its newest sample's number and code(s).
std::string Progress(std::int32_t number, std::int32_t code);
std::string ProgressTwo(std::int32_t number, std::int32_t ch0Code, std::int32_t ch1Code);
std::string CodeStatistics(std::int32_t maximum, std::int32_t minimum, double deviation,
                           int channel);
std::string VoltStatistics(int channel, double maximum, double minimum, double deviation);
// The microvolt line in any unit (readings scaled to mV/V, °C, kg): the numbers take as many
// decimals as the deviation calls for, the microvolt line's own in "uV"; an empty unit has no
// brackets.
std::string UnitStatistics(int channel, double maximum, double minimum, double deviation,
                           const std::string& unit);
// One value in a unit with the decimals its statistics line gives it ("4.00[uV]").
std::string UnitValue(double value, double deviation, const std::string& unit);
// One channel's statistics line of a measurement (its extremes and deviation), in microvolts
// or codes.
std::string Statistics(const Measurement& data, int channel, bool fVolt);

}  // namespace StatusLineText
