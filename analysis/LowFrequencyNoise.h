// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/ButterworthFilter.h"

// The 0.1–10 Hz noise as converter and reference datasheets state it.
struct LowFrequencyNoiseFigures {
    double rmsMicrovolts = 0.0;
    double peakToPeakMaxMicrovolts = 0.0;
    double peakToPeakMedianMicrovolts = 0.0;  // of an even count, the mean of the middle two
    std::int64_t windows = 0;
};

// The series high-passed at 0.1 Hz (Butterworth, 2nd order) and low-passed at 10 Hz
// (Butterworth, 4th order), both by the bilinear transform at the series' rate; the first 10 s
// left out while the filters settle; then the rms of the rest, and the peak-to-peak value of
// every whole 10 s window after it (window w holds the samples from 10 + 10w s up to 20 + 10w s,
// sample i at i / fs). The filters start at rest on the codes less the mean of the first
// second, so what they settle from is the level's own low-frequency wander, not one sample's
// wideband noise. Codes are fed in order in pieces of any size; memory is that first second
// and one value per window.
class LowFrequencyNoise {
public:
    static constexpr double kHighPassHz = 0.1;
    static constexpr double kLowPassHz = 10.0;
    static constexpr double kSettleSeconds = 10.0;
    static constexpr double kWindowSeconds = 10.0;
    // The figures need a rate above this (10 Hz must lie below half of it) ...
    static constexpr double kLeastRate = 20.0;
    // ... and a series at least this long (one whole window).
    static constexpr double kLeastSeconds = kSettleSeconds + kWindowSeconds;

    // The figures of codes held in memory.
    static std::optional<LowFrequencyNoiseFigures> Compute(std::span<const std::int32_t> codes,
                                                           double sampleRate);

    explicit LowFrequencyNoise(double sampleRate);
    void Add(std::span<const std::int32_t> codes);
    // Absent at kLeastRate or below and for a series shorter than kLeastSeconds.
    std::optional<LowFrequencyNoiseFigures> Result() const;

private:
    struct Band {
        ButterworthFilter highPass;
        ButterworthFilter lowPass;
    };

    // The index of the first sample at or after `seconds`.
    std::int64_t SampleAt(double seconds) const;
    void Filter(std::span<const std::int32_t> codes);

    double rate;
    std::optional<Band> band;  // none at kLeastRate or below
    std::int64_t offsetSamples;
    std::vector<std::int32_t> firstSecond;  // held until the offset is known
    bool fOffsetKnown = false;
    double offset = 0.0;
    std::int64_t filtered = 0;  // samples through the filters
    std::int64_t settled;       // index of the first sample after the settling
    double squares = 0.0;       // of the settled samples, in codes²
    std::int64_t windowStart;
    std::int64_t windowEnd;  // the current window's first sample and the first after it
    double windowMin = 0.0;
    double windowMax = 0.0;
    std::vector<double> peakToPeak;  // of each whole window, in codes
};
