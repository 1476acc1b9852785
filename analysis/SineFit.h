// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>

// The four-parameter least-squares sine fit of IEEE Std 1057: frequency, amplitude, phase and
// offset of the microvolts, x(t) ≈ amplitude · cos(2π · frequency · t + phase) + offset with t
// in seconds from the first sample. It starts from a three-parameter fit at a given frequency
// and then corrects the frequency by Newton steps, so the start must lie within about a bin of
// an FFT over the same samples.
struct SineFit {
    double frequencyHz = 0.0;
    double amplitudeMicrovolts = 0.0;  // peak
    double phaseRadians = 0.0;         // at the first sample, in (−π, π]
    double offsetMicrovolts = 0.0;     // the input's level, as the code rule gives it
    double residualRmsMicrovolts = 0.0;
    // The sine's power over the residual's; absent when the residual is 0.
    std::optional<double> sinadDb;
    // log2(5 V / (residual rms · √12)): the bits of an ideal converter of the board's span that
    // would leave this residual; absent when the residual is 0.
    std::optional<double> enobBits;

    // Nothing when the fit does not settle (the start too far from any sine, or fewer than
    // four samples).
    static std::optional<SineFit> Compute(std::span<const std::int32_t> codes, double sampleRate,
                                          double startHz);
};
