// SPDX-License-Identifier: GPL-3.0-or-later
// A channel's band at its borders: the limit itself, the hysteresis's edge, a jump across the
// band, a scale that turns the extremes round, and the alarm's JSON.

#include <gtest/gtest.h>

#include <vector>

#include "publish/IntervalFormat.h"
#include "publish/LimitAlarm.h"

namespace {

using State = LimitAlarm::State;

IntervalFigures Interval(std::int64_t seq, double meanVolts, double minVolts, double maxVolts) {
    IntervalFigures f;
    f.seq = seq;
    f.channel = 1;
    f.meanMicrovolts = meanVolts * 1e6;
    f.minMicrovolts = minVolts * 1e6;
    f.maxMicrovolts = maxVolts * 1e6;
    return f;
}

// The states told for a run of interval means, "-" where nothing was told.
std::vector<std::string> Told(LimitAlarm alarm, const std::vector<double>& means) {
    std::vector<std::string> told;
    std::int64_t seq = 0;
    for (const double mean : means) {
        const IntervalFigures f = Interval(++seq, mean, mean, mean);
        const auto event = alarm.Take(std::span(&f, 1));
        told.push_back(event ? LimitAlarm::StateName(event->state) : "-");
    }
    return told;
}

TEST(LimitAlarm, TheLimitItselfIsInsideAndTheHysteresisHoldsTheStateToItsEdge) {
    const LimitAlarm plain({1, 1.0, 2.0}, LimitAlarm::Basis::Mean, 0.0, {});
    EXPECT_EQ(Told(plain, {1.0, 2.0, 2.0000001, 2.0000001, 2.0, 0.5, 3.0}),
              (std::vector<std::string>{"ok", "-", "high", "-", "ok", "low", "high"}));
    const LimitAlarm held({1, 1.0, 2.0}, LimitAlarm::Basis::Mean, 0.25, {});
    // Back only at 1.75 or below (1.25 or above from below); a jump across goes straight over.
    EXPECT_EQ(Told(held, {2.5, 1.9, 1.76, 1.75, 0.9, 1.2, 1.25, 2.1, 0.0}),
              (std::vector<std::string>{"high", "-", "-", "ok", "low", "-", "ok", "high", "low"}));
}

TEST(LimitAlarm, EventsCarryTheValueAndTheLimitOfTheSideInTheScaledUnit) {
    ReadingMath math;
    math.scale = {true, -100.0, 0.0, "kg"};  // a negative gain: the minimum becomes the most
    LimitAlarm alarm({1, -50.0, 50.0}, LimitAlarm::Basis::Extremes, 0.0, math);
    IntervalFigures other = Interval(1, 0.0, 0.0, 0.0);
    other.channel = 0;
    EXPECT_FALSE(alarm.Take(std::span(&other, 1))) << "another channel's interval";

    const IntervalFigures out = Interval(1, 0.0, -0.6, 0.1);  // -100 x: -10 .. 60 kg
    const auto high = alarm.Take(std::span(&out, 1));
    ASSERT_TRUE(high);
    EXPECT_EQ(high->state, State::High);
    EXPECT_DOUBLE_EQ(high->value, 60.0);
    EXPECT_EQ(high->limit, 50.0);
    EXPECT_TRUE(high->fFirst);
    const IntervalFigures back = Interval(2, 0.0, -0.2, 0.2);
    const auto ok = alarm.Take(std::span(&back, 1));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->side, State::High);
    EXPECT_DOUBLE_EQ(ok->value, 20.0);
    EXPECT_FALSE(ok->fFirst);
    EXPECT_EQ(IntervalFormat::AlarmJson(*ok).substr(0, 44),
              R"({"state":"ok","value":20,"limit":50,"time":")");
    EXPECT_TRUE(IntervalFormat::AlarmJson(*ok).ends_with(R"(","seq":2})"));
}

}  // namespace
