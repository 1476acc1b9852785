#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "NoiseAnalysis.h"

class MeasurementData;

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
    AnalysisReport(const MeasurementData& data, std::optional<int> onlyChannel);

    double SampleRate() const { return sampleRate; }
    const std::vector<Channel>& Channels() const { return channels; }
    const QStringList& Problems() const { return problems; }

    QStringList Lines() const;
    // The analysis keys of one channel's JSON object.
    static QJsonObject ChannelJson(const Channel& channel);
    // {"settings", "sampleRate", "channels"} with the analysis keys alone.
    QByteArray Json(const QJsonObject& settings) const;

private:
    double sampleRate;
    std::vector<Channel> channels;
    QStringList problems;
};
