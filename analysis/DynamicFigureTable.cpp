// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/DynamicFigureTable.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "analysis/DynamicFigures.h"

namespace {

constexpr int kFirstHarmonic = 2;
constexpr int kLastHarmonic = 10;

std::string FrequencyText(double hz, FigureFormat format = FigureFormat::Level) {
    return NoiseFigureTable::ValueText({{}, hz, {}, format}) + " Hz";
}

NoiseFigure Decibels(std::string name, std::optional<double> value, std::string unit,
                     std::string note = {}) {
    return {std::move(name), value, std::move(unit), FigureFormat::Ratio, std::move(note)};
}

// How many samples the transform took, and why none or not all.
NoiseFigure SamplesRow(const DynamicFigures& figures, std::int64_t count) {
    std::string note;
    if (!figures.spectrum) {
        note = DynamicFigureTable::kTooFewSamplesText;
    } else if (figures.samplesUsed < count) {
        note = "先頭の " + std::to_string(figures.samplesUsed) + " データ";
    }
    return {"FFT のデータ数",
            figures.spectrum ? std::optional<double>(figures.samplesUsed) : std::nullopt, "",
            FigureFormat::Count, note};
}

// The harmonic of `order` where it was counted: its level, and where it landed (folded back
// below half the rate when h · f0 lies above it).
NoiseFigure HarmonicRow(int order, const SineFigures* sine, double binHz) {
    std::string name = "第" + std::to_string(order) + "高調波";
    if (sine == nullptr) {
        return Decibels(std::move(name), std::nullopt, "dBc");
    }
    const auto found = std::find_if(sine->harmonics.begin(), sine->harmonics.end(),
                                    [order](const HarmonicFigure& h) { return h.order == order; });
    if (found == sine->harmonics.end()) {
        return Decibels(std::move(name), std::nullopt, "dBc",
                        DynamicFigureTable::kLeftOutHarmonicText);
    }
    const bool fFolded = std::abs(order * sine->fundamentalHz - found->frequencyHz) > binHz;
    return Decibels(std::move(name), found->dbc, "dBc",
                    FrequencyText(found->frequencyHz) + (fFolded ? "（折り返し）" : ""));
}

std::vector<NoiseFigure> FitRows(const SineFigures* sine) {
    const SineFit* fit = sine != nullptr && sine->fit ? &*sine->fit : nullptr;
    const auto value = [fit](double SineFit::*member) {
        return fit != nullptr ? std::optional<double>(fit->*member) : std::nullopt;
    };
    const std::string note =
        sine != nullptr && fit == nullptr ? DynamicFigureTable::kFitUnsettledText : "";
    return {
        {"正弦波フィットの周波数", value(&SineFit::frequencyHz), "Hz", FigureFormat::Level, note},
        {"正弦波フィットの振幅 (peak)", value(&SineFit::amplitudeMicrovolts), "uV",
         FigureFormat::Level},
        {"正弦波フィットのオフセット", value(&SineFit::offsetMicrovolts), "uV",
         FigureFormat::Level},
        Decibels("正弦波フィットの SINAD", fit != nullptr ? fit->sinadDb : std::nullopt, "dB"),
        Decibels("正弦波フィットの ENOB", fit != nullptr ? fit->enobBits : std::nullopt, "bit")};
}

}  // namespace

std::vector<NoiseFigure> DynamicFigureTable::Rows(const DynamicFigures& figures,
                                                  std::int64_t count) {
    const SineFigures* sine = figures.sine ? &*figures.sine : nullptr;
    const auto figure = [sine](std::optional<double> SineFigures::*member) {
        return sine != nullptr ? sine->*member : std::nullopt;
    };
    const auto plain = [sine](double SineFigures::*member) {
        return sine != nullptr ? std::optional<double>(sine->*member) : std::nullopt;
    };
    const double binHz = figures.spectrum ? figures.spectrum->binHz : 0.0;
    std::vector<NoiseFigure> rows = {
        SamplesRow(figures, count),
        {"信号周波数", plain(&SineFigures::fundamentalHz), "Hz", FigureFormat::Level,
         figures.spectrum && sine == nullptr ? kNoSineText : ""},
        Decibels("信号レベル", plain(&SineFigures::fundamentalDbfs), "dBFS"),
        {"信号振幅 (rms)", plain(&SineFigures::fundamentalMicrovoltsRms), "uV",
         FigureFormat::Level},
        Decibels("SNR", figure(&SineFigures::snrDb), "dB"),
        Decibels("THD", figure(&SineFigures::thdDb), "dBc",
                 sine != nullptr ? "第2〜第6高調波" : ""),
        Decibels("SINAD", figure(&SineFigures::sinadDb), "dB"),
        Decibels("SFDR", figure(&SineFigures::sfdrDb), "dBc"),
        {"SFDR のスプリアス周波数", figure(&SineFigures::sfdrSpurHz), "Hz", FigureFormat::Level},
        Decibels("ENOB", figure(&SineFigures::enobBits), "bit"),
        Decibels("ENOB (フルスケール換算)", figure(&SineFigures::enobFullScaleBits), "bit"),
        Decibels("ノイズフロア", figure(&SineFigures::noiseFloorDbfs), "dBFS",
                 sine != nullptr
                     ? "1 ビンあたり、ビン幅 " + FrequencyText(binHz, FigureFormat::Noise)
                     : ""),
        Decibels("ノイズ密度", figure(&SineFigures::noiseDensityDbfsPerHz), "dBFS/Hz"),
        {"ノイズ密度", figure(&SineFigures::noiseDensityNanovoltsPerRootHz), "nV/√Hz"}};
    for (int order = kFirstHarmonic; order <= kLastHarmonic; ++order) {
        rows.push_back(HarmonicRow(order, sine, binHz));
    }
    for (NoiseFigure& row : FitRows(sine)) {
        rows.push_back(std::move(row));
    }
    return rows;
}
