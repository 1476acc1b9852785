// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/MeasurementData.h"

#include "status/Mystatus.h"

MeasurementData::MeasurementData()
    : model(nullptr, &ch0.Series, nullptr, nullptr, &Settings, &ch1.Series) {}

void MeasurementData::SetRunData(std::int32_t count) {
    ch0.Series.Count = Settings.CHSel != 1 ? count : 0;
    ch1.Series.Count = Settings.CHSel != 0 ? count : 0;
}

bool MeasurementData::HasData(int channel) const {
    const bool fNamed = channel == 0 ? Settings.CHSel != 1 : Settings.CHSel != 0;
    return fNamed && Series(channel).Count > 0;
}

void MeasurementData::Evaluate() {
    for (int channel = 0; channel < 2; ++channel) {
        ChannelSeries& series = Series(channel);
        if (HasData(channel)) {
            ChannelStatistics::ConvertToMicrovolts(series, 0, series.Count - 1,
                                                   Settings.GainFactor);
        }
    }
    ch0Statistics.ComputeCodeStatistics(ch0.Series);
    ch1Statistics.ComputeCodeStatistics(ch1.Series);
    ch0Statistics.ComputeMicrovoltStatistics(ch0.Series);
    ch1Statistics.ComputeMicrovoltStatistics(ch1.Series);
}

MeasurementData::Extremes MeasurementData::ExtremesOf(int channel) {
    if (channel == 0) {
        return {model.MaxCodeCH0(), model.MinCodeCH0(), model.MaxMicrovoltsCH0(),
                model.MinMicrovoltsCH0()};
    }
    return {model.MaxCodeCH1(), model.MinCodeCH1(), model.MaxMicrovoltsCH1(),
            model.MinMicrovoltsCH1()};
}

QString MeasurementData::StatisticsText(int channel, bool fVolt) {
    const Extremes extremes = ExtremesOf(channel);
    const ChannelStatistics& stats = Statistics(channel);
    if (fVolt) {
        return TmyStatus::VoltStatisticsText(channel, extremes.maxMicrovolts,
                                             extremes.minMicrovolts, stats.MicrovoltStdDev);
    }
    return TmyStatus::CodeStatisticsText(extremes.maxCode, extremes.minCode, stats.CodeStdDev,
                                         channel);
}
