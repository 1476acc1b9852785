// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardsim/SampleSource.h"

#include <cmath>
#include <numbers>

#include "boardsim/ConverterModel.h"

SampleSource::SampleSource(std::uint64_t seed, double ch0Microvolts, double ch1Microvolts)
    : engine(seed), inputs{ch0Microvolts, ch1Microvolts} {}

double SampleSource::UniformOpenAtZero() {
    // 53 random bits, shifted by one step so that log() never sees 0: (0, 1].
    return (static_cast<double>(engine() >> 11) + 1.0) * 0x1.0p-53;
}

std::array<double, 2> SampleSource::NextMicrovolts(int rateIndex, bool fSinc5) {
    // Box-Muller: one pair of uniforms gives one independent normal value per input.
    const double radius = std::sqrt(-2.0 * std::log(UniformOpenAtZero()));
    const double angle = 2.0 * std::numbers::pi * UniformOpenAtZero();
    const double rms = ConverterModel::NoiseRmsMicrovolts(rateIndex, fSinc5);
    return {inputs[0] + rms * radius * std::cos(angle), inputs[1] + rms * radius * std::sin(angle)};
}

std::array<std::int32_t, 2> SampleSource::NextCodes(int rateIndex, bool fSinc5) {
    const auto microvolts = NextMicrovolts(rateIndex, fSinc5);
    return {ConverterModel::MicrovoltsToCode(microvolts[0]),
            ConverterModel::MicrovoltsToCode(microvolts[1])};
}
