// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardsim/ConverterModel.h"

#include <algorithm>
#include <cmath>

#include "common/Codes.h"
#include "common/SampleRates.h"

namespace ConverterModel {
namespace {

constexpr double kFastestRate = 31250.0;
// Sinc3 settles on more samples per result and comes out quieter at the slowest rates.
constexpr double kSinc3QuietRate = 20.01;
constexpr double kSinc3NoiseFactor = 0.85;

}  // namespace

double NoiseRmsMicrovolts(int rateIndex, bool fSinc5) {
    const double sps = SampleRates::SamplesPerSecond(rateIndex, fSinc5);
    const double rms = kFastestNoiseRms * std::sqrt(sps / kFastestRate);
    return (!fSinc5 && sps <= kSinc3QuietRate) ? rms * kSinc3NoiseFactor : rms;
}

double NoiseFreeBits(double rmsMicrovolts) {
    return std::log2(kInputSpanMicrovolts / (kPeakToPeakPerRms * rmsMicrovolts));
}

std::int32_t MicrovoltsToCode(double microvolts) {
    const double code = std::floor(microvolts * kCodeDivisor / kReferenceMicrovolts + 0.5) +
                        static_cast<double>(kMidScaleCode);
    return static_cast<std::int32_t>(
        std::clamp(code, static_cast<double>(kMinScaleCode), static_cast<double>(kFullScaleCode)));
}

}  // namespace ConverterModel
