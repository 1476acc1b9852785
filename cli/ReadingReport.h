// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "cli/ReadingOptions.h"

class Measurement;

// measure's readings (--nplc, --null, --scale): each channel's readings, the mean of its samples
// over the aperture (each sample without one) through the null and the scale, in microvolts or
// the scale's unit; the lines that give them and their statistics, and their JSON keys.
class ReadingReport {
public:
    ReadingReport(const Measurement& data, const ReadingOptions& options);

    // No channel holds a whole reading (a run stopped early).
    bool Empty() const;
    // With an aperture one line per reading ("1 CH0 読み値：4.00[uV] / CH1 読み値：..."), then
    // each channel's statistics line in the unit.
    QStringList Lines() const;
    // The channel's readings and their figures, its statistics line in the unit.
    void AddTo(QJsonObject& channelObject, int channel) const;
    // The aperture, the samples of a reading, the null and the scale.
    QJsonObject SettingsJson() const;

private:
    struct Channel {
        int channel = 0;
        std::vector<double> values;
        double mean = 0.0;
        double deviation = 0.0;  // divided by n
        double minimum = 0.0;
        double maximum = 0.0;
    };

    QString StatisticsLine(const Channel& c) const;

    ReadingOptions options;
    std::int64_t perReading = 1;
    std::vector<Channel> channels;
};
