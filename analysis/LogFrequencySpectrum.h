// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// The noise density of the microvolts on a logarithmic frequency axis, ten points a decade at
// 10^(k/10) Hz, from the last of them at or below 10 / T (T the series' duration) up to half
// the sample rate, with the white-noise level and the 1/f corner fitted to it.
struct LogNoiseSpectrum {
    std::vector<double> frequencyHz;
    std::vector<double> nanovoltsPerRootHz;
    // How many independent periodogram values each point is worth (for a smooth density): its
    // amplitude's relative standard deviation is about 1 / (2 √averages), ±10 % from 25 on,
    // which the points reach from about 150 / T. Below, the series is too short for that: a
    // band of a tenth of a decade at 10 / T holds 2.3 / T of bandwidth, worth at most 2.3
    // independent values in T seconds.
    std::vector<double> averages;
    // The fit of w + a / f to the power density up to a twentieth of the sample rate (below
    // the converter's own filter's roll-off): √w, and a / w where the 1/f line crosses the
    // level. Absent where no such term shows (FlickerFit).
    std::optional<double> whiteNoiseNanovoltsPerRootHz;
    std::optional<double> flickerCornerHz;
};

// Welch at several rates, for codes fed in order in pieces of any size, so that a series of
// any length gives its density down to 10 / T with memory of one segment per octave of its
// length. Stage 0 is the series; each next stage the one before through a half-band low-pass,
// decimated by 2 (HalfBandDecimator, flat to 0.3 of the halved rate). Every stage takes Welch
// segments of kSegment samples (periodic Hann, overlapping by half, mean removed), so stage s
// resolves fs / (2^s kSegment). A point averages the bins its band (a tenth of a decade around
// it) covers, each weighted by how much of the bin's width lies in the band. It takes them from
// the stage that makes it worth the most averages among those whose flat band holds its band
// and where that band starts at the sixteenth bin or above (so the point still resolves its
// tenth of a decade); from the last stage (the deepest holding a whole segment) also from the
// third bin, for the lowest points (the window spreads what lies below the first bin into the
// next two). The coarser bins of an earlier stage often give more averages: more segments,
// and less of the series left over after the last one.
//
// This is Welch with a segment length per octave, as the log-frequency estimate of Tröbs and
// Heinzel (LPSD) chooses one per frequency, but with the few stages a stream can keep: LPSD's
// own segments reach the series' whole length, and so would its memory.
class LogFrequencySpectrum {
public:
    static constexpr std::int64_t kSegment = 256;

    // The whole spectrum of codes held in memory.
    static LogNoiseSpectrum Compute(std::span<const std::int32_t> codes, double sampleRate);

    explicit LogFrequencySpectrum(double sampleRate);
    ~LogFrequencySpectrum();
    LogFrequencySpectrum(const LogFrequencySpectrum&) = delete;
    LogFrequencySpectrum& operator=(const LogFrequencySpectrum&) = delete;

    void Add(std::span<const std::int32_t> codes);
    // Empty below kSegment codes.
    LogNoiseSpectrum Result() const;

private:
    struct Stage;
    // One point's density from one stage (µV²/Hz) and how many values it is worth.
    struct Estimate {
        double power;
        double averages;
    };

    void Feed(std::size_t stage, std::span<const double> samples);
    // The point at `f` from `stage` (of `density`), none where the stage cannot give it.
    std::optional<Estimate> EstimateFrom(std::size_t stage, double f,
                                         const std::vector<double>& density, bool fLast) const;

    double rate;
    std::int64_t count = 0;
    std::int32_t firstCode = 0;  // taken off, so the filters work on small exact numbers
    std::vector<double> converted;
    std::vector<std::unique_ptr<Stage>> stages;
};
