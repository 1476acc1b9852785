// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct NoiseAnalysis;
struct NoiseStatistics;

// How a figure is written: always in fixed-point, never with an exponent.
enum class FigureFormat {
    Count,  // a whole number
    Rate,   // every digit it has: "1.25", "16.67", "31250"
    Level,  // three decimals: a level in microvolts ("1250000.012")
    Noise,  // four significant digits: noise, resolution, density, frequency, τ
    Drift,  // three significant digits
    Ratio,  // two decimals: a ratio or level in decibels, a number of bits ("-80.02")
};

// One figure as the operator reads it: its name, its value (absent where it does not exist),
// its unit and what must be said with it, in the order the window's table and the command line
// list them.
struct NoiseFigure {
    NoiseFigure(std::string figureName, std::optional<double> figureValue, std::string figureUnit,
                FigureFormat figureFormat = FigureFormat::Noise, std::string figureNote = {})
        : name(std::move(figureName)),
          value(figureValue),
          unit(std::move(figureUnit)),
          format(figureFormat),
          note(std::move(figureNote)) {}

    std::string name;
    std::optional<double> value;
    std::string unit;  // empty for plain counts
    FigureFormat format = FigureFormat::Noise;
    std::string note;  // empty where the value speaks for itself
};

class NoiseFigureTable {
public:
    // Shown in place of an absent figure.
    static inline const std::string kAbsentText = "—";
    static inline const std::string kTooFewSamplesText = "データが2個未満のため解析できません";
    // What the missing codes count, in one line beside the figures.
    static inline const std::string kMissingCodesNote =
        "※ミッシングコード：正規分布なら5回以上出るはずなのに、一度も出なかったコードの数";
    // Beside a resolution the codes cap, and beside an Allan deviation without a minimum.
    static inline const std::string kCodeLimitNote =
        "ノイズが1コード未満のため、変換器の24ビットが上限";
    static inline const std::string kAllanNoMinimumNote =
        "最長の τ が最小のため、まだ下がる可能性があります";

    static std::vector<NoiseFigure> Rows(const NoiseAnalysis& analysis);
    // Level, noise, resolution and drift alone: the live figures of a recording.
    static std::vector<NoiseFigure> StatisticsRows(const NoiseStatistics& statistics);
    // The value in its figure's format ("." as the decimal point whatever the locale),
    // kAbsentText when absent.
    static std::string ValueText(const NoiseFigure& figure);
    // "VALUE UNIT（NOTE）" as a line of text gives it.
    static std::string LineText(const NoiseFigure& figure);
};
