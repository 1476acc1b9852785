// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The converter as the board drives it: noise for each rate index and filter (the rates
// themselves are the shared table of SampleRates.h), and the code of an input voltage.
namespace ConverterModel {

// Published noise at the fastest rate: about 5 uV rms (33 uV peak to peak).
inline constexpr double kFastestNoiseRms = 5.0;
// Peak-to-peak noise is taken as 6.6 times the rms, the usual convention for noise-free bits.
inline constexpr double kPeakToPeakPerRms = 6.6;

// Noise rms in microvolts: the fastest rate's figure scaled with the square root of the
// rate; Sinc3 is 15 % quieter at rates up to 20.01 per second. That gives about 17.2
// noise-free bits at 31250 per second and 23.5 at 5 per second.
double NoiseRmsMicrovolts(int rateIndex, bool fSinc5);

// log2 of the input span (twice the reference) over the peak-to-peak noise.
double NoiseFreeBits(double rmsMicrovolts);

// Offset-binary code of an input voltage, rounded to the nearest code and clamped to 24 bits.
std::int32_t MicrovoltsToCode(double microvolts);

}  // namespace ConverterModel
