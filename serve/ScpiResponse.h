// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>

// How a connection receives sample data (FORMat): text, or one definite-length block of
// IEEE floating-point numbers, most significant byte first unless swapped.
struct ScpiDataFormat {
    enum class Kind { Ascii, Real32, Real64 };
    Kind kind = Kind::Ascii;
    bool fSwapped = false;
};

// The texts and blocks of responses.
class ScpiResponse {
public:
    // What the instrument language answers for a figure that does not exist.
    static constexpr double kNotANumber = 9.91e37;

    // NR3 with 10 significant digits, the zeros at the end left off ("1.250000149E+00",
    // "4.0001E-06", "3.125E+04").
    static void AppendReal(std::string& out, double value);
    // A run's readings (volts, or the unit they are scaled to), channels interleaved (CH0,
    // CH1, CH0, ...), appended to `out`: text joined by commas, or one definite-length block
    // (#<digits><length><bytes>) of doubles, or of them rounded to 32-bit floats for REAL,32.
    static void AppendValues(std::string& out, std::span<const double> ch0,
                             std::span<const double> ch1, const ScpiDataFormat& format);
    // A run's converter codes, interleaved as readings are: text, or a block of 32-bit integers.
    static void AppendCodes(std::string& out, std::span<const std::int32_t> ch0,
                            std::span<const std::int32_t> ch1, const ScpiDataFormat& format);
    // A code in volts, in double precision.
    static double Volts(std::int32_t code, std::int32_t gainFactor);
};
