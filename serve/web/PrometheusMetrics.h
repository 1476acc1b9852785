// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

class ScpiInstrument;

// /metrics in Prometheus' text format: the instrument's identity, whether the board answers and
// runs, the samples taken since the server started, and per channel of the last run its mean,
// rms noise (the standard deviation, divided by n) and peak-to-peak value, in volts.
namespace PrometheusMetrics {

inline constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

// `samplesTotal`: samples per channel of every run since the start, the one under way included.
std::string Text(const ScpiInstrument& instrument, std::uint64_t samplesTotal);

}  // namespace PrometheusMetrics
