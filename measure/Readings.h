// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Readings as a bench meter gives them: each the mean of the samples that span a number of
// power-line cycles, so that hum at the line frequency and its harmonics averages away (a mean
// over whole cycles of a sine is zero). Without an aperture every sample is a reading.
struct ReadingAperture {
    static constexpr double kLeastCycles = 0.02;
    static constexpr double kMostCycles = 100.0;

    double lineCycles = 0.0;  // 0: no aperture, each sample a reading
    int lineHz = 50;

    bool Integrates() const { return lineCycles > 0.0; }
    // The samples at `samplesPerSecond` nearest the aperture, at least one; 1 without one.
    std::int64_t SamplesPerReading(double samplesPerSecond) const;

    friend bool operator==(const ReadingAperture&, const ReadingAperture&) = default;
};

namespace Readings {

// The mean of each whole group of `perReading` codes, in volts by the code rule; the codes of
// a last group cut short make no reading.
std::vector<double> MeanVolts(std::span<const std::int32_t> codes, std::int64_t perReading,
                              std::int32_t gainFactor);

}  // namespace Readings
