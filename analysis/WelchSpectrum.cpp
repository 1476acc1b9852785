// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/WelchSpectrum.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <numeric>

#include "analysis/RealTransform.h"
#include "common/Codes.h"

namespace {

constexpr double kNanovoltsPerMicrovolt = 1000.0;
// A bin counts as a peak when its amplitude density exceeds the white level this many times.
constexpr double kPeakOverWhite = 3.0;

std::vector<double> PeriodicHann(std::int64_t length) {
    std::vector<double> window(static_cast<std::size_t>(length));
    for (std::size_t n = 0; n < window.size(); ++n) {
        window[n] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(n) /
                                         static_cast<double>(length));
    }
    return window;
}

void FindWhiteLevelAndPeak(const std::vector<double>& density, NoiseSpectrum& spectrum) {
    // The bins strictly between 0 Hz and half the sample rate.
    const std::size_t first = 1;
    const std::size_t last = density.size() - 2;
    if (last < first) {
        return;
    }
    double powerSum = 0.0;
    std::size_t largest = first;
    for (std::size_t k = first; k <= last; ++k) {
        powerSum += density[k];
        if (density[k] > density[largest]) {
            largest = k;
        }
    }
    const double white = std::sqrt(powerSum / static_cast<double>(last - first + 1));
    spectrum.whiteNoiseNanovoltsPerRootHz = white * kNanovoltsPerMicrovolt;
    const double peak = std::sqrt(density[largest]);
    if (peak > kPeakOverWhite * white) {
        spectrum.peak = SpectralPeak{spectrum.frequencyHz[largest], peak * kNanovoltsPerMicrovolt};
    }
}

// Four sums side by side, so that the additions need not wait for each other.
double Sum(std::span<const double> values) {
    constexpr std::size_t kLanes = 4;
    double lanes[kLanes] = {};
    std::size_t i = 0;
    for (; i + kLanes <= values.size(); i += kLanes) {
        for (std::size_t j = 0; j < kLanes; ++j) {
            lanes[j] += values[i + j];
        }
    }
    for (; i < values.size(); ++i) {
        lanes[0] += values[i];
    }
    return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
}

}  // namespace

std::int64_t WelchSpectrum::SegmentLengthFor(std::int64_t count) {
    if (count < 2) {
        return 0;
    }
    return static_cast<std::int64_t>(
        std::bit_floor(static_cast<std::uint64_t>(std::min(count, kLongestSegment))));
}

NoiseSpectrum WelchSpectrum::Compute(std::span<const std::int32_t> codes, double sampleRate) {
    const std::int64_t length = SegmentLengthFor(static_cast<std::int64_t>(codes.size()));
    WelchSpectrum welch(length, sampleRate);
    welch.AddCodes(codes);
    return welch.Result();
}

WelchSpectrum::WelchSpectrum(std::int64_t segmentLength, double sampleRate)
    : length(segmentLength),
      rate(sampleRate),
      window(PeriodicHann(segmentLength)),
      windowPower(std::inner_product(window.begin(), window.end(), window.begin(), 0.0)),
      powerSums(static_cast<std::size_t>(segmentLength / 2 + 1), 0.0),
      transform(std::make_unique<RealTransform>(segmentLength)) {}

WelchSpectrum::~WelchSpectrum() = default;

void WelchSpectrum::AddSegment(std::span<const double> segment) {
    // The mean comes off in codes before the scale to microvolts; codes held as doubles sum
    // exactly, in any order.
    const double mean = Sum(segment) / static_cast<double>(length);
    const auto input = transform->Input();
    for (std::size_t n = 0; n < window.size(); ++n) {
        input[n] = (segment[n] - mean) * kMicrovoltsPerCode * window[n];
    }
    transform->Execute();
    for (std::size_t k = 0; k < powerSums.size(); ++k) {
        powerSums[k] += transform->SquaredMagnitude(k);
    }
    ++segments;
}

template <typename Sample>
void WelchSpectrum::AddInOrder(std::span<const Sample> samples) {
    // Segments start every half segment; samples after the last whole segment are left out.
    const auto whole = static_cast<std::size_t>(length);
    const auto step = static_cast<std::size_t>(length - length / 2);
    pending.reserve(whole);
    while (!samples.empty()) {
        const std::size_t take = std::min(whole - pending.size(), samples.size());
        pending.insert(pending.end(), samples.begin(), samples.begin() + static_cast<long>(take));
        samples = samples.subspan(take);
        if (pending.size() == whole) {
            AddSegment(pending);
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(step));
        }
    }
}

void WelchSpectrum::AddCodes(std::span<const std::int32_t> codes) {
    AddInOrder(codes);
}

void WelchSpectrum::AddSamples(std::span<const double> samples) {
    AddInOrder(samples);
}

std::vector<double> WelchSpectrum::Density() const {
    const std::size_t bins = powerSums.size();
    std::vector<double> density(bins);
    const double scale = 1.0 / (rate * windowPower * static_cast<double>(segments));
    for (std::size_t k = 0; k < bins; ++k) {
        // One-sided: every bin but 0 Hz and half the sample rate carries its mirror's power.
        const double sides = (k == 0 || k == bins - 1) ? 1.0 : 2.0;
        density[k] = powerSums[k] * scale * sides;
    }
    return density;
}

NoiseSpectrum WelchSpectrum::Result() const {
    NoiseSpectrum spectrum;
    const std::size_t bins = powerSums.size();
    spectrum.frequencyHz.resize(bins);
    const std::vector<double> density = Density();  // µV²/Hz
    for (std::size_t k = 0; k < bins; ++k) {
        spectrum.frequencyHz[k] = static_cast<double>(k) * rate / static_cast<double>(length);
    }
    spectrum.nanovoltsPerRootHz.resize(bins);
    for (std::size_t k = 0; k < bins; ++k) {
        spectrum.nanovoltsPerRootHz[k] = std::sqrt(density[k]) * kNanovoltsPerMicrovolt;
    }
    FindWhiteLevelAndPeak(density, spectrum);
    return spectrum;
}
