// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <optional>

#include "common/ChannelSeries.h"
#include "common/MeasureSettings.h"
#include "graph/Graph_2ch.h"
#include "measure/ChannelStatistics.h"

// One measurement as the command line holds it, measured or loaded: the settings, both
// channels' fixed sample arrays, and their conversion and statistics done as the window does
// them (the extremes come from the graph model, without a paint box).
// Not copyable: the series and the model point into the object itself.
class MeasurementData {
public:
    // The extremes the status line's statistics take.
    struct Extremes {
        std::int32_t maxCode;
        std::int32_t minCode;
        float maxMicrovolts;
        float minMicrovolts;
    };

    MeasurementData();
    MeasurementData(const MeasurementData&) = delete;
    MeasurementData& operator=(const MeasurementData&) = delete;

    // `count` samples in each channel that CHSel names, none in the other.
    void SetRunData(std::int32_t count);
    // Microvolts of every sample, then the code and microvolt statistics.
    void Evaluate();

    // The channel is one CHSel names and holds samples.
    bool HasData(int channel) const;
    ChannelSeries& Series(int channel) { return channel == 0 ? ch0.Series : ch1.Series; }
    const ChannelSeries& Series(int channel) const {
        return channel == 0 ? ch0.Series : ch1.Series;
    }
    const ChannelStatistics& Statistics(int channel) const {
        return channel == 0 ? ch0Statistics : ch1Statistics;
    }
    Extremes ExtremesOf(int channel);
    // The statistics line the status bar shows for the channel, in microvolts or codes.
    QString StatisticsText(int channel, bool fVolt);

    MeasureSettings Settings;
    // When the start command went out; none for data read from a file.
    std::optional<std::chrono::system_clock::time_point> start;

private:
    ChannelBuffer ch0;
    ChannelBuffer ch1;
    ChannelStatistics ch0Statistics;
    ChannelStatistics ch1Statistics;
    TGraph_2CH model;
};
