// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/ChannelStatistics.h"

#include <cmath>

#include "common/Codes.h"

void ChannelStatistics::ConvertToMicrovolts(ChannelSeries& series, int first, int last,
                                            std::int32_t gainFactor) {
    for (int i = first; i <= last; ++i) {
        series.Microvolts[i] = static_cast<float>(CodeToMicrovolts(series.Codes[i], gainFactor));
    }
}

void ChannelStatistics::ComputeCodeStatistics(const ChannelSeries& series) {
    const int n = series.Count;
    if (n == 0) {
        return;
    }
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        sum += series.Codes[i];
    }
    MeanCode = static_cast<std::int32_t>(sum / n);
    // Deviations from the truncated integer mean, as the read-out has always shown them.
    double squares = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = static_cast<double>(series.Codes[i]) - MeanCode;
        squares += d * d;
    }
    CodeStdDev = static_cast<float>(std::sqrt(squares / n));
}

void ChannelStatistics::ComputeMicrovoltStatistics(const ChannelSeries& series) {
    const int n = series.Count;
    if (n == 0) {
        return;
    }
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        sum += series.Microvolts[i];
    }
    MeanMicrovolts = static_cast<float>(sum / n);
    double squares = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = static_cast<double>(series.Microvolts[i]) - MeanMicrovolts;
        squares += d * d;
    }
    MicrovoltStdDev = static_cast<float>(std::sqrt(squares / n));
}
