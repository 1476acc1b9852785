// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/NoiseFigureTable.h"

struct DynamicFigures;

// The figures of a sine applied as the operator reads them, after the noise figures: the same
// rows for every series, "—" with the reason beside the first where there is no sine.
class DynamicFigureTable {
public:
    static inline const std::string kTooFewSamplesText =
        "データが1024個未満のため FFT を計算できません";
    static inline const std::string kNoSineText =
        "正弦波が見つかりません（中央値より 40 dB 以上高いビンがありません）";
    static inline const std::string kLeftOutHarmonicText = "ほかの成分と重なるため除外";
    static inline const std::string kFitUnsettledText = "フィットが収束しませんでした";

    // `count`: the samples of the whole series, of which the figures take the first
    // DynamicFigures::kMaxSamples.
    static std::vector<NoiseFigure> Rows(const DynamicFigures& figures, std::int64_t count);
};
