// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "measure/ReadingMath.h"
#include "publish/IntervalFigures.h"

// One channel's band for a monitor: an interval whose mean (or, by extremes, whose minimum or
// maximum) leaves it raises an alarm, and one coming back inside clears it. Only a change of
// state is an event, so a value that stays out is told once; the hysteresis keeps a value at
// the border from flapping: it is back only `hysteresis` inside the limit it crossed. Values
// are compared in the unit of the null and the scale (volts without them).
class LimitAlarm {
public:
    enum class Basis { Mean, Extremes };
    enum class State { Ok, Low, High };

    struct Band {
        int channel = 0;
        double low = 0.0;
        double high = 0.0;
    };

    struct Event {
        int channel = 0;
        State state = State::Ok;
        double value = 0.0;
        // The limit crossed, out or back, and its side (Low or High); none for the first
        // interval's state when inside.
        std::optional<double> limit;
        State side = State::Ok;
        std::chrono::system_clock::time_point time;  // the interval's end
        std::int64_t seq = 0;
        bool fFirst = false;  // the state of the run's first interval, whatever it is
    };

    LimitAlarm(Band band, Basis basis, double hysteresis, ReadingMath math);

    int Channel() const { return band.channel; }
    // The event of the band's channel in `interval`, where its state changed (always for the
    // first interval, so a retained state left by an earlier run is replaced).
    std::optional<Event> Take(std::span<const IntervalFigures> interval);

    static const char* StateName(State state);

private:
    // The state after an interval whose values lie between `least` and `most`.
    State Next(double least, double most) const;

    Band band;
    Basis basis;
    double hysteresis;
    ReadingMath math;
    std::optional<State> state;  // none before the first interval
};
