// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/LowFrequencyNoise.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "common/Codes.h"

namespace {

constexpr int kHighPassOrder = 2;
constexpr int kLowPassOrder = 4;
// The mean of this first stretch is taken off before the filters.
constexpr double kOffsetSeconds = 1.0;
// Times in seconds times the rate are rounded this close to a whole sample down, so that
// 10 s at 100.2 per second is sample 1002 although 10 × 100.2 is a little above it.
constexpr double kSampleTolerance = 1e-6;

double Median(std::vector<double> values) {
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(middle), values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1) {
        return upper;
    }
    return (*std::max_element(values.begin(), values.begin() + static_cast<long>(middle)) + upper) /
           2.0;
}

}  // namespace

std::optional<LowFrequencyNoiseFigures> LowFrequencyNoise::Compute(
    std::span<const std::int32_t> codes, double sampleRate) {
    LowFrequencyNoise noise(sampleRate);
    noise.Add(codes);
    return noise.Result();
}

LowFrequencyNoise::LowFrequencyNoise(double sampleRate)
    : rate(sampleRate),
      offsetSamples(SampleAt(kOffsetSeconds)),
      settled(SampleAt(kSettleSeconds)),
      windowStart(settled),
      windowEnd(SampleAt(kSettleSeconds + kWindowSeconds)) {
    if (rate > kLeastRate) {
        band.emplace(Band{
            ButterworthFilter(ButterworthFilter::Kind::HighPass, kHighPassOrder, kHighPassHz, rate),
            ButterworthFilter(ButterworthFilter::Kind::LowPass, kLowPassOrder, kLowPassHz, rate)});
    }
}

std::int64_t LowFrequencyNoise::SampleAt(double seconds) const {
    return static_cast<std::int64_t>(std::ceil(seconds * rate - kSampleTolerance));
}

void LowFrequencyNoise::Add(std::span<const std::int32_t> codes) {
    if (!band) {
        return;
    }
    if (!fOffsetKnown) {
        const auto take =
            std::min(static_cast<std::size_t>(offsetSamples) - firstSecond.size(), codes.size());
        firstSecond.insert(firstSecond.end(), codes.begin(),
                           codes.begin() + static_cast<long>(take));
        codes = codes.subspan(take);
        if (static_cast<std::int64_t>(firstSecond.size()) < offsetSamples) {
            return;
        }
        const std::int64_t sum =
            std::accumulate(firstSecond.begin(), firstSecond.end(), std::int64_t{0});
        offset = static_cast<double>(sum) / static_cast<double>(firstSecond.size());
        fOffsetKnown = true;
        Filter(firstSecond);
        firstSecond = {};
    }
    Filter(codes);
}

void LowFrequencyNoise::Filter(std::span<const std::int32_t> codes) {
    for (const std::int32_t code : codes) {
        const double y = band->lowPass.Step(band->highPass.Step(code - offset));
        const std::int64_t i = filtered++;
        if (i < settled) {
            continue;
        }
        squares += y * y;
        windowMin = i == windowStart ? y : std::min(windowMin, y);
        windowMax = i == windowStart ? y : std::max(windowMax, y);
        if (i + 1 == windowEnd) {
            peakToPeak.push_back(windowMax - windowMin);
            windowStart = windowEnd;
            windowEnd = SampleAt(kSettleSeconds +
                                 kWindowSeconds * static_cast<double>(peakToPeak.size() + 1));
        }
    }
}

std::optional<LowFrequencyNoiseFigures> LowFrequencyNoise::Result() const {
    if (peakToPeak.empty()) {
        return std::nullopt;
    }
    LowFrequencyNoiseFigures figures;
    figures.rmsMicrovolts =
        std::sqrt(squares / static_cast<double>(filtered - settled)) * kMicrovoltsPerCode;
    figures.peakToPeakMaxMicrovolts =
        *std::max_element(peakToPeak.begin(), peakToPeak.end()) * kMicrovoltsPerCode;
    figures.peakToPeakMedianMicrovolts = Median(peakToPeak) * kMicrovoltsPerCode;
    figures.windows = static_cast<std::int64_t>(peakToPeak.size());
    return figures;
}
