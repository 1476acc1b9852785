// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/SineFit.h"

// How well the board converts a sine applied to its input, from one channel's codes (the
// figures of IEEE Std 1241 and 1057). The definitions, which the tests hold the figures to:
//
// - Full scale is a sine of 2.5 V peak (the ±2.5 V input range, microvolts by the code rule);
//   dBFS is relative to its power, (2.5 V)² / 2.
// - Spectrum: the codes with their mean removed, in microvolts, times a periodic 7-term
//   Blackman–Harris window; the one-sided power spectrum P[k], k = 0 .. N/2, scaled so that
//   summing bins gives mean-square power (|X[k]|² / (N · Σw²), doubled except at 0 Hz and at
//   half the rate). The window's main lobe is ±7 bins wide and its side lobes lie below
//   −180 dB, so a tone's power is the sum of its 15 bins wherever between bins it falls.
// - DC: bins 0 .. 7 are left out of everything.
// - Fundamental: the largest bin above DC; its power P1 the sum of the ±7 bins around it (not
//   into DC); its frequency the power-weighted centre of those bins.
// - Harmonics 2 .. 10: at h · f0 folded into 0 .. fs/2, aliases counted where they land; each
//   one's power the ±7 bins around its largest bin within ±2 bins of where it should be. A
//   harmonic whose bins overlap DC, the fundamental's bins or those of an earlier harmonic
//   that was counted is left out. THD counts harmonics 2 .. 6; the list gives 2 .. 10.
// - Noise: the mean power p of the bins above DC outside the fundamental's and the counted
//   harmonics' bins (the bin at half the rate, which holds half a bin's noise, weighs half),
//   times N/2: the noise of every bin, those left out included.
// - SNR = P1 / noise; THD = Σ P2..6 / P1 (dBc, negative); SINAD = P1 over everything else above
//   DC outside the fundamental's bins, p standing in for the bins left out; SFDR = P1 over the
//   largest spur: the largest bin outside DC and the fundamental's bins (harmonics included),
//   its power the sum of its ±7 bins outside those, its frequency their power-weighted centre.
//   ENOB = (SINAD − 1.76) / 6.02; ENOB at full scale the same with SINAD raised by the
//   fundamental's distance below full scale. Noise floor: p in dBFS (per bin); noise density:
//   the noise over fs/2, in dBFS/Hz and nV/√Hz.
// - Sine fit: the four-parameter fit of IEEE 1057 (SineFit) on the same samples, started from
//   the fundamental's frequency, as a cross-check beside the FFT's figures.
// - No sine found: fewer than kMinSamples codes, or no bin above DC at least 40 dB above the
//   median of those bins. Then every figure is absent, never a number made up.
//
// A long series gives its first kMaxSamples codes: 2^20 samples (33.6 s at 31250 per second)
// resolve 0.03 Hz and put the noise per bin 57 dB below the noise, deep enough for any
// harmonic this converter shows; more would cost memory without changing a figure, since SNR,
// THD and SINAD are ratios of powers that do not grow with the length. Every code up to that
// count is used, so a run of 10000 samples is analysed whole.

// A bin the chart marks: the fundamental (order 1) or a counted harmonic, at its largest bin.
struct SpectrumMark {
    int order = 1;
    double frequencyHz = 0.0;
    double dbfs = 0.0;
};

// The one-sided power spectrum in dBFS per bin, for a chart: at most kChartPoints points, each
// the largest bin of its group of neighbouring bins, at that bin's frequency, so every tone
// keeps its height; a bin without power shows at kEmptyBinDbfs.
struct DynamicSpectrum {
    static constexpr std::size_t kChartPoints = 4096;
    static constexpr double kEmptyBinDbfs = -300.0;

    std::vector<double> frequencyHz;
    std::vector<double> dbfs;
    double binHz = 0.0;  // the width of one bin of the transform
    std::vector<SpectrumMark> marks;
};

struct HarmonicFigure {
    int order = 2;
    double frequencyHz = 0.0;  // h · f0 folded into 0 .. fs/2
    double dbc = 0.0;
};

// The figures of a sine that was found. A figure is absent where its power ratio has nothing
// to divide by or nothing to take the logarithm of (a noise of exactly 0, no harmonic 2 .. 6
// counted).
struct SineFigures {
    double fundamentalHz = 0.0;
    double fundamentalDbfs = 0.0;
    double fundamentalMicrovoltsRms = 0.0;
    std::optional<double> snrDb;
    std::optional<double> thdDb;
    std::optional<double> sinadDb;
    std::optional<double> sfdrDb;
    std::optional<double> sfdrSpurHz;
    std::optional<double> enobBits;
    std::optional<double> enobFullScaleBits;
    std::optional<double> noiseFloorDbfs;
    std::optional<double> noiseDensityDbfsPerHz;
    std::optional<double> noiseDensityNanovoltsPerRootHz;
    std::vector<HarmonicFigure> harmonics;  // the counted ones of 2 .. 10, in order
    std::optional<SineFit> fit;             // absent when the fit does not settle
};

struct DynamicFigures {
    static constexpr std::int64_t kMinSamples = 1024;
    static constexpr std::int64_t kMaxSamples = std::int64_t{1} << 20;

    std::int64_t samplesUsed = 0;
    std::optional<DynamicSpectrum> spectrum;  // absent below kMinSamples
    std::optional<SineFigures> sine;          // absent: no sine found

    static DynamicFigures Compute(std::span<const std::int32_t> codes, double sampleRate);
};
