// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// What a bench meter does to each reading before it gives it: a null subtracted, the result
// scaled to the quantity really measured (mV/V of a bridge, °C, kg), and limits it is checked
// against. A reading comes out as gain × (volts − null) + offset in the scale's unit; without
// a null or a scale those parts leave it as it is, in volts.
struct ReadingMath {
    // The largest gain, offset or limit taken: any quantity a user scales to fits.
    static constexpr double kLargest = 1e15;

    struct Null {
        bool fOn = false;
        double volts = 0.0;
        friend bool operator==(const Null&, const Null&) = default;
    };
    struct Scale {
        bool fOn = false;
        double gain = 1.0;
        double offset = 0.0;
        std::string unit;
        friend bool operator==(const Scale&, const Scale&) = default;
    };
    // A reading below `lower` fails low, one above `upper` fails high.
    struct Limit {
        bool fOn = false;
        double lower = 0.0;
        double upper = 0.0;
        friend bool operator==(const Limit&, const Limit&) = default;
    };
    enum class Verdict { Inside, Low, High };

    Null null;
    Scale scale;
    Limit limit;

    double Apply(double volts) const;
    // Inside whenever the limits are off.
    Verdict Check(double value) const;
    // The unit readings come out in: the scale's, else volts.
    const std::string& Unit() const;

    friend bool operator==(const ReadingMath&, const ReadingMath&) = default;
};
