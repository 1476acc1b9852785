// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/LimitAlarm.h"

#include <algorithm>
#include <tuple>

namespace {

constexpr double kMicrovoltsPerVolt = 1e6;

}  // namespace

LimitAlarm::LimitAlarm(Band limitBand, Basis alarmBasis, double border, ReadingMath readingMath)
    : band(limitBand), basis(alarmBasis), hysteresis(border), math(std::move(readingMath)) {}

const char* LimitAlarm::StateName(State state) {
    switch (state) {
        case State::High:
            return "high";
        case State::Low:
            return "low";
        case State::Ok:
            break;
    }
    return "ok";
}

LimitAlarm::State LimitAlarm::Next(double least, double most) const {
    const bool fStaysHigh = state == State::High && most > band.high - hysteresis;
    const bool fStaysLow = state == State::Low && least < band.low + hysteresis;
    if (fStaysHigh || fStaysLow) {
        return *state;
    }
    if (most > band.high) {
        return State::High;
    }
    return least < band.low ? State::Low : State::Ok;
}

std::optional<LimitAlarm::Event> LimitAlarm::Take(std::span<const IntervalFigures> interval) {
    const auto figures = std::find_if(interval.begin(), interval.end(),
                                      [this](const auto& f) { return f.channel == band.channel; });
    if (figures == interval.end()) {
        return std::nullopt;
    }
    const auto value = [this](double microvolts) {
        return math.Apply(microvolts / kMicrovoltsPerVolt);
    };
    double least = value(figures->meanMicrovolts);
    double most = least;
    if (basis == Basis::Extremes) {
        // A negative gain turns the extremes round.
        std::tie(least, most) =
            std::minmax(value(figures->minMicrovolts), value(figures->maxMicrovolts));
    }
    const State next = Next(least, most);
    if (state == next) {
        return std::nullopt;
    }
    // Out: the value beyond the limit; back: the value on the side it left.
    const State side = next == State::Ok ? state.value_or(State::Ok) : next;
    Event event{.channel = band.channel,
                .state = next,
                .value = side == State::Low ? least : most,
                .limit = std::nullopt,
                .side = side,
                .time = figures->end,
                .seq = figures->seq,
                .fFirst = !state};
    if (side != State::Ok) {
        event.limit = side == State::Low ? band.low : band.high;
    }
    state = next;
    return event;
}
