// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/HalfBandDecimator.h"

#include <cmath>
#include <numbers>
#include <numeric>

namespace {

constexpr double kKaiserBeta = 10.0;
constexpr int kCentre = (HalfBandDecimator::kTaps - 1) / 2;

std::vector<double> HalfBandTaps() {
    std::vector<double> taps(HalfBandDecimator::kTaps, 0.0);
    const double norm = std::cyl_bessel_i(0.0, kKaiserBeta);
    for (int j = 0; j < HalfBandDecimator::kTaps; ++j) {
        const int offset = j - kCentre;
        // A half-band filter is 0 at every even offset but the centre.
        if (offset != 0 && offset % 2 == 0) {
            continue;
        }
        const double r = static_cast<double>(offset) / kCentre;
        const double kaiser = std::cyl_bessel_i(0.0, kKaiserBeta * std::sqrt(1.0 - r * r)) / norm;
        const double x = std::numbers::pi * offset / 2.0;
        taps[static_cast<std::size_t>(j)] = 0.5 * (offset == 0 ? 1.0 : std::sin(x) / x) * kaiser;
    }
    const double sum = std::accumulate(taps.begin(), taps.end(), 0.0);
    for (double& tap : taps) {
        tap /= sum;
    }
    return taps;
}

}  // namespace

const std::vector<double>& HalfBandDecimator::Taps() {
    static const std::vector<double> taps = HalfBandTaps();
    return taps;
}

void HalfBandDecimator::Push(std::span<const double> in, std::vector<double>& out) {
    const std::vector<double>& h = Taps();
    line.insert(line.end(), in.begin(), in.end());
    std::size_t m = 0;
    for (; m + kTaps <= line.size(); m += 2) {
        const double* x = line.data() + m;
        // The taps are symmetric and 0 at even offsets: the centre, then the odd pairs.
        double y = h[kCentre] * x[kCentre];
        for (int offset = 1; offset <= kCentre; offset += 2) {
            y += h[kCentre + offset] * (x[kCentre - offset] + x[kCentre + offset]);
        }
        out.push_back(y);
    }
    line.erase(line.begin(), line.begin() + static_cast<long>(m));
}
