// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

// A digital Butterworth low- or high-pass of even order as second-order sections, from the
// analog prototype by the bilinear transform with the corner prewarped, so that the corner is
// exactly -3 dB at the given rate: |H(f)|² = 1 / (1 + (tan(πf/fs) / tan(πfc/fs))^(±2·order)).
// Each section has unit gain at 0 Hz (low-pass) or at half the rate (high-pass) and runs in
// transposed direct form II, the state in double precision.
class ButterworthFilter {
public:
    enum class Kind { LowPass, HighPass };

    // `order` is even; `cornerHz` lies below half of `sampleRate`.
    ButterworthFilter(Kind kind, int order, double cornerHz, double sampleRate);

    // The next output for the next input.
    double Step(double x);

private:
    struct Section {
        double b0, b1, b2, a1, a2;
        double z1 = 0.0;
        double z2 = 0.0;
    };

    std::vector<Section> sections;
};
