// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <random>

// The two analogue inputs as the converter sees them: each a DC level plus Gaussian noise
// of the rate's rms. Every conversion draws both inputs, whichever channels are sent, so
// the sequence of one seed does not depend on the channel choice. The Gaussian transform is
// our own, so a seed gives the same samples with every standard library.
class SampleSource {
public:
    SampleSource(std::uint64_t seed, double ch0Microvolts, double ch1Microvolts);

    // Input voltages of the next conversion, in microvolts.
    std::array<double, 2> NextMicrovolts(int rateIndex, bool fSinc5);
    // Converter codes of the next conversion.
    std::array<std::int32_t, 2> NextCodes(int rateIndex, bool fSinc5);

private:
    double UniformOpenAtZero();

    std::mt19937_64 engine;
    std::array<double, 2> inputs;
};
