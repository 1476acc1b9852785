#include "ConverterModel.h"

#include <algorithm>
#include <cmath>

#include "Codes.h"

namespace ConverterModel {
namespace {

struct Rate {
    double sinc5;  // Sinc5+Sinc1
    double sinc3;
};

constexpr Rate kRates[kRateCount] = {
    {1.25, 1.25},  {2.5, 2.5},     {5.0, 5.0},     {10.0, 10.0},   {16.63, 16.67}, {20.01, 20.01},
    {49.68, 50.0}, {59.52, 59.98}, {100.2, 100.2}, {200.3, 200.3}, {503.8, 504.0}, {1007, 1008},
    {2597, 2604},  {5208, 5208},   {10417, 10417}, {15625, 15625}, {31250, 31250},
};

constexpr double kFastestRate = 31250.0;
// Sinc3 settles on more samples per result and comes out quieter at the slowest rates.
constexpr double kSinc3QuietRate = 20.01;
constexpr double kSinc3NoiseFactor = 0.85;

}  // namespace

double SamplesPerSecond(int rateIndex, bool fSinc5) {
    const auto& rate = kRates[std::clamp(rateIndex, 0, kRateCount - 1)];
    return fSinc5 ? rate.sinc5 : rate.sinc3;
}

double NoiseRmsMicrovolts(int rateIndex, bool fSinc5) {
    const double sps = SamplesPerSecond(rateIndex, fSinc5);
    const double rms = kFastestNoiseRms * std::sqrt(sps / kFastestRate);
    return (!fSinc5 && sps <= kSinc3QuietRate) ? rms * kSinc3NoiseFactor : rms;
}

double NoiseFreeBits(double rmsMicrovolts) {
    return std::log2(2.0 * kReferenceMicrovolts / (kPeakToPeakPerRms * rmsMicrovolts));
}

std::int32_t MicrovoltsToCode(double microvolts) {
    const double code = std::floor(microvolts * kCodeDivisor / kReferenceMicrovolts + 0.5) +
                        static_cast<double>(kMidScaleCode);
    return static_cast<std::int32_t>(
        std::clamp(code, static_cast<double>(kMinScaleCode), static_cast<double>(kFullScaleCode)));
}

}  // namespace ConverterModel
