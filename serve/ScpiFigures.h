// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/MeasureSettings.h"

// The figures the CALCulate queries answer for one channel's codes of the last run, in volts,
// bits, Hz and dB; 9.91E+37 (not a number) where a figure does not exist.
namespace ScpiFigures {

// CALCulate:AVERage:ALL?: mean, standard deviation (none for one sample), least and greatest
// value.
std::vector<double> Average(std::span<const std::int32_t> codes, const MeasureSettings& settings);
// CALCulate:NOISe?: rms and peak-to-peak noise, effective and noise-free resolution, white
// noise density.
std::vector<double> Noise(std::span<const std::int32_t> codes, const MeasureSettings& settings);
// CALCulate:DYNamic?: the fundamental's frequency and level (dBFS), SNR, THD, SINAD, SFDR (dB)
// and ENOB (bit) of a sine applied; all absent where none was found.
std::vector<double> Dynamic(std::span<const std::int32_t> codes, const MeasureSettings& settings);

}  // namespace ScpiFigures
