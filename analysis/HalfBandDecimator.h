// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <vector>

// Halves the rate of a series fed in order: a half-band low-pass FIR (a Kaiser-windowed sinc
// of kTaps taps, β = 10), then every second output. The response is flat to 3 parts in 10^5
// of the power up to 0.15 of the input rate and at least 100 dB down from 0.35 on, so the
// output's band up to 0.15 of the input rate (0.3 of its own) holds no alias. Outputs start
// once the filter is full: output m is Σ h[j] x[2m + j], no made-up samples before the first.
class HalfBandDecimator {
public:
    static constexpr int kTaps = 35;

    // The filter's taps, summing to 1 (every second one 0).
    static const std::vector<double>& Taps();

    // Appends to `out` an output for every two inputs once the filter holds kTaps.
    void Push(std::span<const double> in, std::vector<double>& out);

private:
    std::vector<double> line;  // inputs not yet passed by two outputs
};
