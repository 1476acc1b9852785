// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/ButterworthFilter.h"

#include <cmath>
#include <complex>
#include <numbers>

ButterworthFilter::ButterworthFilter(Kind kind, int order, double cornerHz, double sampleRate) {
    const double twiceRate = 2.0 * sampleRate;
    const double warped = twiceRate * std::tan(std::numbers::pi * cornerHz / sampleRate);
    const bool fLow = kind == Kind::LowPass;
    for (int k = 0; k < order / 2; ++k) {
        // A prototype pole of the upper half plane's pairs; 1/p of a unit pole is its mirror,
        // so the high-pass scales the same set.
        const std::complex<double> p =
            std::polar(1.0, std::numbers::pi * (2.0 * k + order + 1.0) / (2.0 * order));
        const std::complex<double> analog = warped * p;
        const std::complex<double> z = (twiceRate + analog) / (twiceRate - analog);
        // Zeros at z = -1 (low-pass) or z = 1 (high-pass); the gain where they are not.
        const double sign = fLow ? 1.0 : -1.0;
        const double gain = std::norm((fLow ? 1.0 : -1.0) - z) / 4.0;
        sections.push_back({gain, 2.0 * sign * gain, gain, -2.0 * z.real(), std::norm(z)});
    }
}

double ButterworthFilter::Step(double x) {
    for (Section& s : sections) {
        const double y = s.b0 * x + s.z1;
        s.z1 = s.b1 * x - s.a1 * y + s.z2;
        s.z2 = s.b2 * x - s.a2 * y;
        x = y;
    }
    return x;
}
