// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/NoiseFigureTable.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <utility>

#include "analysis/NoiseAnalysis.h"
#include "analysis/NoiseStatistics.h"
#include "common/FixedText.h"

namespace {

constexpr int kLevelDecimals = 3;
constexpr int kNoiseDigits = 4;
constexpr int kDriftDigits = 3;
constexpr int kRatioDecimals = 2;

NoiseFigure Count(std::string name, std::int64_t value, std::string unit = {}) {
    return {std::move(name), static_cast<double>(value), std::move(unit), FigureFormat::Count};
}

// `digits` significant digits in fixed-point: 0.00699297 → "0.006993", 19.9999998 → "20.00";
// a whole number keeps all its digits.
std::string SignificantText(double value, int digits) {
    if (value == 0.0 || !std::isfinite(value)) {
        return FixedText(value, 0);
    }
    const int magnitude = static_cast<int>(std::floor(std::log10(std::abs(value))));
    int decimals = std::max(digits - 1 - magnitude, 0);
    // 9.99996 rounds up to 10.000: one decimal fewer keeps the digits' count.
    const double scale = std::pow(10.0, decimals);
    if (decimals > 0 &&
        std::round(std::abs(value) * scale) / scale >= std::pow(10.0, magnitude + 1)) {
        --decimals;
    }
    return FixedText(value, decimals);
}

std::string ShortestText(double value) {
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, result.ptr);
}

}  // namespace

std::vector<NoiseFigure> NoiseFigureTable::Rows(const NoiseAnalysis& analysis) {
    const NoiseStatistics& s = analysis.statistics;
    const NoiseSpectrum& spectrum = analysis.spectrum;
    const AllanDeviation& allan = analysis.allan;
    std::optional<double> peakFrequency;
    std::optional<double> peakDensity;
    if (spectrum.peak) {
        peakFrequency = spectrum.peak->frequencyHz;
        peakDensity = spectrum.peak->nanovoltsPerRootHz;
    }
    std::optional<double> allanTau;
    std::optional<double> allanLeast;
    if (allan.MinimumReached()) {
        allanTau = allan.tauSeconds[*allan.minimum];
        allanLeast = allan.deviationMicrovolts[*allan.minimum];
    }
    std::optional<double> bandRms;
    std::optional<double> bandPeakToPeakMax;
    std::optional<double> bandPeakToPeakMedian;
    if (analysis.lowFrequencyNoise) {
        bandRms = analysis.lowFrequencyNoise->rmsMicrovolts;
        bandPeakToPeakMax = analysis.lowFrequencyNoise->peakToPeakMaxMicrovolts;
        bandPeakToPeakMedian = analysis.lowFrequencyNoise->peakToPeakMedianMicrovolts;
    }
    const std::string allanNote =
        allan.minimum && !allan.MinimumReached() ? kAllanNoMinimumNote : std::string();
    std::vector<NoiseFigure> rows = {
        {"サンプルレート", analysis.sampleRate, "Hz", FigureFormat::Rate},
        Count("データ数", s.count)};
    for (NoiseFigure& figure : StatisticsRows(s)) {
        rows.push_back(std::move(figure));
    }
    const std::vector<NoiseFigure> rest = {
        Count("ミッシングコード", analysis.histogram.missingCodes),
        Count("ヒストグラムのビン幅", analysis.histogram.binWidthCodes, "digit"),
        {"ホワイトノイズ密度", spectrum.whiteNoiseNanovoltsPerRootHz, "nV/√Hz"},
        {"スペクトルピーク周波数", peakFrequency, "Hz"},
        {"スペクトルピーク密度", peakDensity, "nV/√Hz"},
        {"1/f コーナー周波数", analysis.logSpectrum.flickerCornerHz, "Hz"},
        {"0.1–10 Hz ノイズ (rms)", bandRms, "uV"},
        {"0.1–10 Hz ノイズ (p-p 最大)", bandPeakToPeakMax, "uV"},
        {"0.1–10 Hz ノイズ (p-p 中央値)", bandPeakToPeakMedian, "uV"},
        {"アラン偏差が最小の τ", allanTau, "s", FigureFormat::Noise, allanNote},
        {"アラン偏差の最小値", allanLeast, "uV"}};
    rows.insert(rows.end(), rest.begin(), rest.end());
    return rows;
}

std::vector<NoiseFigure> NoiseFigureTable::StatisticsRows(const NoiseStatistics& s) {
    return {{"平均値", s.meanMicrovolts, "uV", FigureFormat::Level},
            {"ノイズ実効値 (rms)", s.rmsMicrovolts, "uV"},
            {"ピークツーピーク", s.peakToPeakMicrovolts, "uV"},
            {"実効分解能", s.effectiveResolutionBits, "bit", FigureFormat::Noise,
             s.fResolutionLimitedByCode ? kCodeLimitNote : std::string()},
            {"ノイズフリー分解能", s.noiseFreeResolutionBits, "bit", FigureFormat::Noise,
             s.peakToPeakMicrovolts == 0.0 ? kCodeLimitNote : std::string()},
            {"ドリフト", s.driftMicrovoltsPerSecond, "uV/s", FigureFormat::Drift}};
}

std::string NoiseFigureTable::ValueText(const NoiseFigure& figure) {
    if (!figure.value) {
        return kAbsentText;
    }
    const double value = *figure.value;
    switch (figure.format) {
        case FigureFormat::Count:
            return FixedText(value, 0);
        case FigureFormat::Rate:
            return ShortestText(value);
        case FigureFormat::Level:
            return FixedText(value, kLevelDecimals);
        case FigureFormat::Noise:
            return SignificantText(value, kNoiseDigits);
        case FigureFormat::Drift:
            return SignificantText(value, kDriftDigits);
        case FigureFormat::Ratio:
            return FixedText(value, kRatioDecimals);
    }
    return kAbsentText;
}

std::string NoiseFigureTable::LineText(const NoiseFigure& figure) {
    std::string text = ValueText(figure);
    if (figure.value && !figure.unit.empty()) {
        text += ' ' + figure.unit;
    }
    if (!figure.note.empty()) {
        text += "（" + figure.note + "）";
    }
    return text;
}
