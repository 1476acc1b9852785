// SPDX-License-Identifier: GPL-3.0-or-later
#include "NoiseFigureTable.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <utility>

#include "NoiseAnalysis.h"
#include "NoiseStatistics.h"

namespace {

NoiseFigure Whole(std::string name, std::int64_t value, std::string unit = {}) {
    return {std::move(name), static_cast<double>(value), std::move(unit), true};
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
    if (allan.minimum) {
        allanTau = allan.tauSeconds[*allan.minimum];
        allanLeast = allan.deviationMicrovolts[*allan.minimum];
    }
    std::vector<NoiseFigure> rows = {{"サンプルレート", analysis.sampleRate, "Hz"},
                                     Whole("データ数", s.count)};
    for (NoiseFigure& figure : StatisticsRows(s)) {
        rows.push_back(std::move(figure));
    }
    const std::vector<NoiseFigure> rest = {
        Whole("ミッシングコード", analysis.histogram.missingCodes),
        Whole("ヒストグラムのビン幅", analysis.histogram.binWidthCodes, "digit"),
        {"ホワイトノイズ密度", spectrum.whiteNoiseNanovoltsPerRootHz, "nV/√Hz"},
        {"スペクトルピーク周波数", peakFrequency, "Hz"},
        {"スペクトルピーク密度", peakDensity, "nV/√Hz"},
        {"アラン偏差が最小の τ", allanTau, "s"},
        {"アラン偏差の最小値", allanLeast, "uV"}};
    rows.insert(rows.end(), rest.begin(), rest.end());
    return rows;
}

std::vector<NoiseFigure> NoiseFigureTable::StatisticsRows(const NoiseStatistics& s) {
    return {{"平均値", s.meanMicrovolts, "uV"},
            {"ノイズ実効値 (rms)", s.rmsMicrovolts, "uV"},
            {"ピークツーピーク", s.peakToPeakMicrovolts, "uV"},
            {"実効分解能", s.effectiveResolutionBits, "bit"},
            {"ノイズフリー分解能", s.noiseFreeResolutionBits, "bit"},
            {"ドリフト", s.driftMicrovoltsPerSecond, "uV/s"}};
}

std::string NoiseFigureTable::ValueText(const NoiseFigure& figure, int significantDigits) {
    if (!figure.value) {
        return kAbsentText;
    }
    char text[64];
    const double value = *figure.value;
    // A level near full scale (1250000 uV) keeps its whole number rather than turning into
    // "1.25e+06"; only the fraction gives way to the digits' limit.
    const bool fWholeNumber = figure.fWhole || std::abs(value) >= std::pow(10.0, significantDigits);
    const auto result = fWholeNumber ? std::to_chars(text, text + sizeof text,
                                                     static_cast<std::int64_t>(std::llround(value)))
                                     : std::to_chars(text, text + sizeof text, value,
                                                     std::chars_format::general, significantDigits);
    return std::string(text, result.ptr);
}
