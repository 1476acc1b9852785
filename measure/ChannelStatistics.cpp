// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/ChannelStatistics.h"

#include <span>

#include "analysis/NoiseStatistics.h"
#include "common/Codes.h"

void ChannelStatistics::ConvertToMicrovolts(ChannelSeries& series, int first, int last,
                                            std::int32_t gainFactor) {
    for (int i = first; i <= last; ++i) {
        series.Microvolts[i] = static_cast<float>(CodeToMicrovolts(series.Codes[i], gainFactor));
    }
}

void ChannelStatistics::Compute(const ChannelSeries& series, std::int32_t gainFactor) {
    const int n = series.Count;
    if (n == 0) {
        return;
    }
    std::int64_t sum = 0;
    for (int i = 0; i < n; ++i) {
        sum += series.Codes[i];
    }
    MeanCode = static_cast<std::int32_t>(static_cast<double>(sum) / n);
    // The deviation around the exact mean, from the analysis's exact sums: the same figure
    // the noise analysis, the monitor and the instrument give for the same codes.
    NoiseStatisticsSums sums;
    sums.Add(std::span<const std::int32_t>(series.Codes, static_cast<std::size_t>(n)));
    const NoiseStatistics figures = sums.Result(1.0);
    CodeStdDev = figures.rmsCode;
    MeanMicrovolts = figures.meanMicrovolts / gainFactor;
    MicrovoltStdDev = figures.rmsMicrovolts / gainFactor;
}
