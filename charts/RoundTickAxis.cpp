// SPDX-License-Identifier: GPL-3.0-or-later
#include "charts/RoundTickAxis.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "common/FixedText.h"

namespace {

constexpr int kLeastLinearTicks = 4;
constexpr int kLeastLogTicks = 3;
constexpr int kMostDecades = 10;
constexpr std::array<int, 3> kMantissas = {1, 2, 5};
constexpr double kFinestSpan = 1e-12;
constexpr double kLargestExponent = 300.0;

// m × 10^e, m one of 1, 2, 5.
struct Step {
    int mantissa;
    int exponent;

    // i steps, as near the decimal value as a double gets.
    double Times(double i) const {
        const double scaled = i * mantissa;
        return exponent >= 0 ? scaled * std::pow(10.0, exponent)
                             : scaled / std::pow(10.0, -exponent);
    }
    double Value() const { return Times(1.0); }
    int Decimals() const { return std::max(-exponent, 0); }
    Step Next() const {
        return mantissa == 5 ? Step{1, exponent + 1} : Step{mantissa == 1 ? 2 : 5, exponent};
    }
};

double FirstMultiple(double min, const Step& step) {
    return std::ceil(min / step.Value());
}

double LastMultiple(double max, const Step& step) {
    return std::floor(max / step.Value());
}

double MultiplesWithin(double min, double max, const Step& step) {
    return LastMultiple(max, step) - FirstMultiple(min, step) + 1;
}

// The largest step that still gives `least` ticks (the smallest allowed when none does).
Step LinearStep(double min, double max, int least, bool fWhole) {
    const int smallest = static_cast<int>(std::floor(std::log10(max - min))) - 3;
    Step best{1, fWhole ? std::max(smallest, 0) : smallest};
    for (Step step = best; MultiplesWithin(min, max, step) >= least; step = step.Next()) {
        best = step;
    }
    return best;
}

template <typename Place>
std::vector<RoundTickAxis::Tick> LinearTicks(double min, double max, int least, bool fWhole,
                                             Place place) {
    const Step step = LinearStep(min, max, least, fWhole);
    std::vector<RoundTickAxis::Tick> ticks;
    for (double i = FirstMultiple(min, step); i <= LastMultiple(max, step); ++i) {
        const double value = step.Times(i);
        ticks.push_back({place(value), QString::fromStdString(FixedText(value, step.Decimals()))});
    }
    return ticks;
}

RoundTickAxis::Tick LogTick(const Step& value) {
    return {std::log10(value.Value()),
            QString::fromStdString(FixedText(value.Value(), value.Decimals()))};
}

// Every n-th decade, n from 1, 2, 5, 10, ... so that at most kMostDecades stand.
std::vector<RoundTickAxis::Tick> DecadeTicks(double minLog, double maxLog) {
    const auto first = static_cast<int>(std::ceil(minLog));
    const auto last = static_cast<int>(std::floor(maxLog));
    Step every{1, 0};
    while ((last - first) / every.Value() + 1 > kMostDecades) {
        every = every.Next();
    }
    const auto n = static_cast<int>(every.Value());
    std::vector<RoundTickAxis::Tick> ticks;
    for (int e = first; e <= last; ++e) {
        if (e % n == 0) {
            ticks.push_back(LogTick({1, e}));
        }
    }
    return ticks;
}

std::vector<RoundTickAxis::Tick> OneTwoFiveTicks(double minLog, double maxLog) {
    std::vector<RoundTickAxis::Tick> ticks;
    for (int e = static_cast<int>(std::floor(minLog)); e <= static_cast<int>(maxLog); ++e) {
        for (const int m : kMantissas) {
            const RoundTickAxis::Tick tick = LogTick({m, e});
            if (tick.position >= minLog && tick.position <= maxLog) {
                ticks.push_back(tick);
            }
        }
    }
    return ticks;
}

std::vector<RoundTickAxis::Tick> LogTicks(double minLog, double maxLog) {
    std::vector<RoundTickAxis::Tick> ticks = DecadeTicks(minLog, maxLog);
    if (ticks.size() >= kLeastLogTicks) {
        return ticks;
    }
    ticks = OneTwoFiveTicks(minLog, maxLog);
    if (ticks.size() >= kLeastLogTicks) {
        return ticks;
    }
    return LinearTicks(std::pow(10.0, minLog), std::pow(10.0, maxLog), kLeastLinearTicks, false,
                       [](double value) { return std::log10(value); });
}

}  // namespace

RoundTickAxis::RoundTickAxis(Scale axisScale) : scale(axisScale) {
    setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    connect(this, &QValueAxis::rangeChanged, this, &RoundTickAxis::Relabel);
}

std::vector<RoundTickAxis::Tick> RoundTickAxis::Ticks(double min, double max, Scale scale) {
    // A span at the limit of a double's digits for its values has no round steps to show, nor
    // has a log axis beyond the doubles' exponents.
    const double largest = std::max(std::abs(min), std::abs(max));
    if (!(max > min) || !std::isfinite(largest) || max - min < kFinestSpan * largest ||
        (scale == Scale::Log && largest > kLargestExponent)) {
        return {};
    }
    if (scale == Scale::Log) {
        return LogTicks(min, max);
    }
    return LinearTicks(min, max, kLeastLinearTicks, scale == Scale::Whole,
                       [](double value) { return value; });
}

void RoundTickAxis::Relabel() {
    if (scale == Scale::Whole && max() - min() < kLeastWholeSpan) {
        // Too narrow for three whole numbers: widened about its middle, and relabelled then.
        double low = (min() + max() - kLeastWholeSpan) / 2;
        if (min() >= 0.0) {
            low = std::max(low, 0.0);
        }
        setRange(low, low + kLeastWholeSpan);
        return;
    }
    for (const QString& label : categoriesLabels()) {
        remove(label);
    }
    setStartValue(min());
    for (const Tick& tick : Ticks(min(), max(), scale)) {
        append(tick.label, tick.position);
    }
}
