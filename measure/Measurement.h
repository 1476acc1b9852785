// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "common/ChannelSeries.h"
#include "common/MeasureSettings.h"
#include "measure/AcquisitionSink.h"
#include "measure/ChannelStatistics.h"

// The data of one measurement, measured or loaded: the settings they were measured with, both
// channels' codes and microvolts in arrays taken once (never per run), their statistics and
// extremes. As a sink of the engine it takes a run's samples as they come (the data held before
// keep their counts until the front end clears them, so a window can still redraw their frame);
// when the run ends it keeps them as the window keeps a run's data (a complete run; a stop
// after at least ten samples) or, for an instrument, whatever came.
// Not copyable: the series point into the object itself.
class Measurement : public AcquisitionSink {
public:
    static constexpr std::int32_t kMinSamplesKept = 10;  // an operator stop keeps data from here

    enum class Keeping { AsTheWindow, Everything };

    // The extremes the status line's statistics take, the microvolts straight from the codes.
    struct Extremes {
        std::int32_t maxCode;
        std::int32_t minCode;
        double maxMicrovolts;
        double minMicrovolts;
    };

    explicit Measurement(std::int32_t capacity = kSeriesCapacity,
                         Keeping keeping = Keeping::AsTheWindow);
    Measurement(const Measurement&) = delete;
    Measurement& operator=(const Measurement&) = delete;

    // The channel is one the settings name and it holds samples.
    bool HasData(int channel) const;
    ChannelSeries& Series(int channel) { return series[Index(channel)]; }
    const ChannelSeries& Series(int channel) const { return series[Index(channel)]; }
    const ChannelStatistics& Statistics(int channel) const { return statistics[Index(channel)]; }
    Extremes ExtremesOf(int channel) const;
    // The codes a run has brought so far (of a channel it measures), while it runs and after.
    std::span<const std::int32_t> Taken(int channel) const;
    std::int32_t Acquired() const { return acquired; }
    std::int32_t Capacity() const { return capacity; }

    // `count` samples in each channel the settings name, none in the other.
    void SetRunData(std::int32_t count);
    // No data in either channel, nothing taken.
    void Clear();
    // Microvolts of samples first..last of the channels the settings name.
    void ConvertRange(int first, int last);
    // Microvolts of every sample of the channels with data, then the code and microvolt
    // statistics.
    void Evaluate();

    bool Begin(const AcquisitionInfo& run) override;
    // False (the run ends as a failed write) past the arrays' room.
    bool Take(const SampleBlock& block) override;
    bool End(AcquisitionOutcome outcome) override;

    MeasureSettings Settings;
    // When the run's first start command went out; none for data read from a file.
    std::optional<std::chrono::system_clock::time_point> start;

private:
    static std::size_t Index(int channel) { return channel == 0 ? 0 : 1; }

    std::int32_t capacity;
    Keeping keeping;
    std::array<std::unique_ptr<std::int32_t[]>, 2> codes;
    std::array<std::unique_ptr<float[]>, 2> microvolts;
    std::array<ChannelSeries, 2> series;
    std::array<ChannelStatistics, 2> statistics;
    std::int32_t acquired = 0;
};
