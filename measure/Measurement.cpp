// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/Measurement.h"

#include <algorithm>

#include "common/Codes.h"

// The arrays are left as they come: their pages are touched only as far as runs fill them.
Measurement::Measurement(std::int32_t room, Keeping keep) : capacity(room), keeping(keep) {
    for (std::size_t i = 0; i < series.size(); ++i) {
        codes[i].reset(new std::int32_t[static_cast<std::size_t>(capacity)]);
        microvolts[i].reset(new float[static_cast<std::size_t>(capacity)]);
        series[i] = {0, codes[i].get(), microvolts[i].get()};
    }
}

bool Measurement::HasData(int channel) const {
    const bool fNamed = channel == 0 ? Settings.CHSel != 1 : Settings.CHSel != 0;
    return fNamed && Series(channel).Count > 0;
}

Measurement::Extremes Measurement::ExtremesOf(int channel) const {
    const ChannelSeries& s = Series(channel);
    const auto [low, high] = std::minmax_element(s.Codes, s.Codes + s.Count);
    const std::int32_t maximum = s.Count > 0 ? *high : 0;
    const std::int32_t minimum = s.Count > 0 ? *low : 0;
    return {maximum, minimum, CodeToMicrovolts(maximum, Settings.GainFactor),
            CodeToMicrovolts(minimum, Settings.GainFactor)};
}

std::span<const std::int32_t> Measurement::Taken(int channel) const {
    const bool fMeasured = channel == 0 ? Settings.CHSel != 1 : Settings.CHSel != 0;
    return {Series(channel).Codes, fMeasured ? static_cast<std::size_t>(acquired) : 0};
}

void Measurement::SetRunData(std::int32_t count) {
    series[0].Count = Settings.CHSel != 1 ? count : 0;
    series[1].Count = Settings.CHSel != 0 ? count : 0;
}

void Measurement::Clear() {
    series[0].Count = 0;
    series[1].Count = 0;
    acquired = 0;
}

void Measurement::ConvertRange(int first, int last) {
    for (int channel = 0; channel < 2; ++channel) {
        if (channel == 0 ? Settings.CHSel != 1 : Settings.CHSel != 0) {
            ChannelStatistics::ConvertToMicrovolts(Series(channel), first, last,
                                                   Settings.GainFactor);
        }
    }
}

void Measurement::Evaluate() {
    for (int channel = 0; channel < 2; ++channel) {
        ChannelSeries& s = Series(channel);
        if (HasData(channel)) {
            ChannelStatistics::ConvertToMicrovolts(s, 0, s.Count - 1, Settings.GainFactor);
        }
    }
    for (std::size_t i = 0; i < series.size(); ++i) {
        statistics[i].Compute(series[i], Settings.GainFactor);
    }
}

bool Measurement::Begin(const AcquisitionInfo& run) {
    Settings = run.settings;
    start = run.start;
    acquired = 0;
    return true;
}

bool Measurement::Take(const SampleBlock& block) {
    const auto size = static_cast<std::int32_t>(block.Size());
    if (block.firstSample != acquired || acquired + size > capacity) {
        return false;
    }
    std::copy(block.ch0.begin(), block.ch0.end(), series[0].Codes + acquired);
    std::copy(block.ch1.begin(), block.ch1.end(), series[1].Codes + acquired);
    acquired += size;
    return true;
}

bool Measurement::End(AcquisitionOutcome outcome) {
    const bool fKept = keeping == Keeping::Everything || outcome == AcquisitionOutcome::Complete ||
                       (outcome == AcquisitionOutcome::Stopped && acquired >= kMinSamplesKept);
    if (fKept) {
        SetRunData(acquired);
        Evaluate();
    } else {
        Clear();
    }
    return true;
}
