// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

struct NoiseAnalysis;
struct NoiseStatistics;

// One figure as the operator reads it: its name, its value (absent where it does not exist)
// and its unit, in the order the window's table and the command line list them.
struct NoiseFigure {
    std::string name;
    std::optional<double> value;
    std::string unit;     // empty for plain counts
    bool fWhole = false;  // a count, written without decimals
};

class NoiseFigureTable {
public:
    // Shown in place of an absent figure.
    static inline const std::string kAbsentText = "—";
    static inline const std::string kTooFewSamplesText = "データが2個未満のため解析できません";

    static std::vector<NoiseFigure> Rows(const NoiseAnalysis& analysis);
    // Level, noise, resolution and drift alone: the live figures of a recording.
    static std::vector<NoiseFigure> StatisticsRows(const NoiseStatistics& statistics);
    // The value with at most `significantDigits` digits ("." as the decimal point whatever the
    // locale), a count in full, kAbsentText when absent.
    static std::string ValueText(const NoiseFigure& figure, int significantDigits);
};
