// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardsim/SampleSource.h"

#include <cmath>
#include <numbers>

#include "boardsim/ConverterModel.h"
#include "common/SampleRates.h"

namespace {

double HarmonicPeak(double fundamentalPeak, const std::optional<double>& dbc) {
    return dbc ? fundamentalPeak * std::pow(10.0, *dbc / 20.0) : 0.0;
}

}  // namespace

SampleSource::SampleSource(std::uint64_t seed, double ch0Microvolts, double ch1Microvolts,
                           const SineInput& sine)
    : engine(seed),
      inputs{ch0Microvolts, ch1Microvolts},
      sineHz(sine.frequencyHz),
      sineAmplitudes{sine.peakMicrovolts, HarmonicPeak(sine.peakMicrovolts, sine.hd2Dbc),
                     HarmonicPeak(sine.peakMicrovolts, sine.hd3Dbc)} {}

double SampleSource::UniformOpenAtZero() {
    // 53 random bits, shifted by one step so that log() never sees 0: (0, 1].
    return (static_cast<double>(engine() >> 11) + 1.0) * 0x1.0p-53;
}

std::array<double, 2> SampleSource::NextMicrovolts(int rateIndex, bool fSinc5) {
    // Box-Muller: one pair of uniforms gives one independent normal value per input.
    const double radius = std::sqrt(-2.0 * std::log(UniformOpenAtZero()));
    const double angle = 2.0 * std::numbers::pi * UniformOpenAtZero();
    const double rms = ConverterModel::NoiseRmsMicrovolts(rateIndex, fSinc5);
    std::array<double, 2> microvolts = {inputs[0] + rms * radius * std::cos(angle),
                                        inputs[1] + rms * radius * std::sin(angle)};
    if (sineHz > 0.0) {
        microvolts[0] += NextSineMicrovolts(SampleRates::SamplesPerSecond(rateIndex, fSinc5));
    }
    return microvolts;
}

double SampleSource::NextSineMicrovolts(double sampleRate) {
    double value = 0.0;
    for (std::size_t h = 0; h < sineAmplitudes.size(); ++h) {
        value += sineAmplitudes[h] *
                 std::sin(2.0 * std::numbers::pi * static_cast<double>(h + 1) * sineCycles);
    }
    // Kept in one cycle, so the phase keeps its precision however long the board runs.
    sineCycles += sineHz / sampleRate;
    sineCycles -= std::floor(sineCycles);
    return value;
}

std::array<std::int32_t, 2> SampleSource::NextCodes(int rateIndex, bool fSinc5) {
    const auto microvolts = NextMicrovolts(rateIndex, fSinc5);
    return {ConverterModel::MicrovoltsToCode(microvolts[0]),
            ConverterModel::MicrovoltsToCode(microvolts[1])};
}
