// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "boardsim/BoardOptions.h"

// The two analogue inputs as the converter sees them: each a DC level plus Gaussian noise
// of the rate's rms, CH0 with a sine on top where one is set. Every conversion draws both
// inputs, whichever channels are sent, so the sequence of one seed does not depend on the
// channel choice. The Gaussian transform is our own, so a seed gives the same samples with
// every standard library. The sine runs on from one conversion to the next at whatever rate
// each is made, so it stays one sine across runs.
class SampleSource {
public:
    SampleSource(std::uint64_t seed, double ch0Microvolts, double ch1Microvolts,
                 const SineInput& sine = {});

    // Input voltages of the next conversion, in microvolts.
    std::array<double, 2> NextMicrovolts(int rateIndex, bool fSinc5);
    // Converter codes of the next conversion.
    std::array<std::int32_t, 2> NextCodes(int rateIndex, bool fSinc5);

private:
    double UniformOpenAtZero();
    // The sine's value at this conversion, then its phase moved on by one sample period.
    double NextSineMicrovolts(double sampleRate);

    std::mt19937_64 engine;
    std::array<double, 2> inputs;
    double sineHz;
    std::array<double, 3> sineAmplitudes;  // the fundamental's, the 2nd's and the 3rd's peak
    double sineCycles = 0.0;               // the phase in cycles, 0 <= phase < 1
};
