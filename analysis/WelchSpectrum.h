// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class RealTransform;

// The largest bin of the density that stands out of the white-noise level.
struct SpectralPeak {
    double frequencyHz = 0.0;
    double nanovoltsPerRootHz = 0.0;
};

// One-sided noise spectral density of the microvolts, as amplitude in nV/√Hz from 0 Hz to
// half the sample rate, with its white-noise level and its largest peak.
struct NoiseSpectrum {
    std::vector<double> frequencyHz;
    std::vector<double> nanovoltsPerRootHz;
    // √(mean power density of the bins between 0 Hz and half the sample rate); absent for
    // segments of two samples, which have no such bin.
    std::optional<double> whiteNoiseNanovoltsPerRootHz;
    // The largest of those bins when it exceeds 3 times the white-noise level.
    std::optional<SpectralPeak> peak;
};

// Welch's averaged periodogram: segments of a power of two of samples overlapping by half,
// each with its mean removed and a periodic Hann window applied, density-scaled and averaged.
// Segments can be fed one at a time, so a long series never has to be held whole.
class WelchSpectrum {
public:
    static constexpr std::int64_t kLongestSegment = 4096;

    // The largest power of two not above the count or kLongestSegment; 0 below 2 samples.
    static std::int64_t SegmentLengthFor(std::int64_t count);
    // The whole spectrum of `codes` (at least two samples).
    static NoiseSpectrum Compute(std::span<const std::int32_t> codes, double sampleRate);

    // `segmentLength` is a power of two from 2 on.
    WelchSpectrum(std::int64_t segmentLength, double sampleRate);
    ~WelchSpectrum();
    WelchSpectrum(const WelchSpectrum&) = delete;
    WelchSpectrum& operator=(const WelchSpectrum&) = delete;

    // One segment of exactly segmentLength samples, in codes from any offset.
    void AddSegment(std::span<const double> segment);
    // Codes of the series in order, any number at a time: a segment is taken every half
    // segment once a whole one has arrived.
    void AddCodes(std::span<const std::int32_t> codes);
    // The same for samples in codes from any offset (a filtered series).
    void AddSamples(std::span<const double> samples);
    std::int64_t Segments() const { return segments; }
    // The one-sided density in µV²/Hz averaged over the segments so far (at least one), at
    // k · rate / segmentLength for k = 0 .. segmentLength / 2.
    std::vector<double> Density() const;
    // The average of the segments added so far (at least one).
    NoiseSpectrum Result() const;

private:
    template <typename Sample>
    void AddInOrder(std::span<const Sample> samples);

    std::int64_t length;
    double rate;
    std::vector<double> window;
    double windowPower = 0.0;       // Σ w²
    std::vector<double> powerSums;  // Σ |X_k|² over the segments, k = 0 .. length / 2
    std::int64_t segments = 0;
    std::unique_ptr<RealTransform> transform;
    std::vector<double> pending;  // the samples held toward the next segment
};
