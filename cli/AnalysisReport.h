// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "analysis/NoiseAnalysis.h"
#include "charts/AnalysisCharts.h"

class Measurement;
class RecordingAnalysis;

// The noise analysis of a measurement's channels as the command line prints it: one line per
// figure and channel, or JSON objects. Channels that cannot be analysed are named in
// Problems().
class AnalysisReport {
public:
    struct Channel {
        int channel;
        NoiseAnalysis analysis;
    };

    // Every channel the settings name, or only `onlyChannel`.
    AnalysisReport(const Measurement& data, std::optional<int> onlyChannel);
    // Every channel of a recording, or only `onlyChannel`.
    AnalysisReport(RecordingAnalysis recording, std::optional<int> onlyChannel);

    double SampleRate() const { return sampleRate; }
    const std::vector<Channel>& Channels() const { return channels; }
    const QStringList& Problems() const { return problems; }

    // One line per figure and channel, then what the missing codes count.
    QStringList Lines() const;
    // The chart of the first channel analysed, captioned with the data file at `sourcePath`
    // (empty: data just measured). Needs a QApplication.
    QImage Picture(AnalysisCharts::Kind kind, const QString& sourcePath) const;
    // The analysis keys of one channel's JSON object.
    static QJsonObject ChannelJson(const Channel& channel);
    // {"settings", "sampleRate", "channels"} with the analysis keys alone, and the keys of
    // `extra`.
    QByteArray Json(const QJsonObject& settings, const QJsonObject& extra = {}) const;

private:
    // The channel's figures, or why it has none: no data, or too few samples.
    void Add(int channel, bool fHasData, std::optional<NoiseAnalysis> analysis);

    double sampleRate;
    bool fSinc5;
    std::vector<Channel> channels;
    QStringList problems;
};
