// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <string>
#include <vector>

#include "cli/AnalysisReport.h"
#include "common/Codes.h"
#include "measure/Measurement.h"
#include "record/RecordingFormat.h"
#include "status/Mystatus.h"

namespace {

std::vector<int> ChannelsWithData(const Measurement& data) {
    std::vector<int> channels;
    for (int channel = 0; channel < 2; ++channel) {
        if (data.HasData(channel)) {
            channels.push_back(channel);
        }
    }
    return channels;
}

// The analysis keys join the channel's statistics (the same mean, from the same codes).
void AddAnalysis(QJsonObject& object, const AnalysisReport* analysis, int channel) {
    if (analysis == nullptr) {
        return;
    }
    for (const AnalysisReport::Channel& c : analysis->Channels()) {
        if (c.channel != channel) {
            continue;
        }
        const QJsonObject keys = AnalysisReport::ChannelJson(c);
        for (auto key = keys.begin(); key != keys.end(); ++key) {
            object[key.key()] = key.value();
        }
    }
}

}  // namespace

CliReport::CliReport(Measurement& measurement, bool fVoltMode)
    : data(measurement), fVolt(fVoltMode) {}

QStringList CliReport::SettingsLines() const {
    const MeasureSettings& s = data.Settings;
    return {QStringLiteral("spsSel:%1").arg(s.spsSel),
            QStringLiteral("DataCountSel:%1").arg(s.DataCountSel),
            QStringLiteral("CHSel:%1").arg(s.CHSel),
            QStringLiteral("GainSel:%1").arg(s.GainSel),
            QStringLiteral("fSinc5:%1").arg(s.fSinc5 ? 1 : 0),
            QStringLiteral("fBUF_ON:%1").arg(s.fBUF_ON ? 1 : 0)};
}

QStringList CliReport::StatisticsLines() const {
    QStringList lines;
    for (const int channel : ChannelsWithData(data)) {
        lines << TmyStatus::StatisticsText(data, channel, fVolt);
    }
    return lines;
}

QJsonObject CliReport::SettingsJson() const {
    const MeasureSettings& s = data.Settings;
    return QJsonObject{{"spsSel", s.spsSel}, {"DataCountSel", s.DataCountSel},
                       {"CHSel", s.CHSel},   {"GainSel", s.GainSel},
                       {"fSinc5", s.fSinc5}, {"fBUF_ON", s.fBUF_ON}};
}

QByteArray CliReport::Json(const std::optional<Board>& board,
                           const AnalysisReport* analysis) const {
    QJsonObject root;
    if (board) {
        root["board"] = QJsonObject{{"name", board->name}, {"version", board->version}};
    }
    root["settings"] = SettingsJson();
    QJsonArray channels;
    for (const int channel : ChannelsWithData(data)) {
        const Measurement::Extremes extremes = data.ExtremesOf(channel);
        const ChannelStatistics& stats = data.Statistics(channel);
        QJsonObject object{{"channel", channel},
                           {"count", data.Series(channel).Count},
                           {"maxCode", extremes.maxCode},
                           {"minCode", extremes.minCode},
                           {"meanCode", stats.MeanCode},
                           {"codeStdDev", stats.CodeStdDev},
                           {"maxMicrovolts", extremes.maxMicrovolts},
                           {"minMicrovolts", extremes.minMicrovolts},
                           {"meanMicrovolts", stats.MeanMicrovolts},
                           {"microvoltStdDev", stats.MicrovoltStdDev},
                           {"statistics", TmyStatus::StatisticsText(data, channel, fVolt)}};
        AddAnalysis(object, analysis, channel);
        channels.append(object);
    }
    root["channels"] = channels;
    if (analysis != nullptr) {
        root["sampleRate"] = analysis->SampleRate();
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray CliReport::Csv(const std::optional<Board>& board) const {
    const MeasureSettings& s = data.Settings;
    const std::vector<int> channels = RecordingFormat::ChannelsOf(s.CHSel);
    const int count = data.Series(channels.front()).Count;
    RecordingHeader header;
    if (board) {
        header.boardName = board->name.toStdString();
        header.boardVersion = board->version.toStdString();
    }
    header.spsSel = s.spsSel;
    header.chSel = s.CHSel;
    header.fSinc5 = s.fSinc5;
    header.count = count;
    header.start = data.start.value_or(std::chrono::system_clock::time_point());
    std::string text = RecordingFormat::HeaderText(header);
    char row[RecordingFormat::kMaxRowLength];
    std::vector<RecordingFormat::Cell> cells(channels.size());
    for (int i = 0; i < count; ++i) {
        for (std::size_t c = 0; c < channels.size(); ++c) {
            const std::int32_t code = data.Series(channels[c]).Codes[i];
            cells[c] = {code, CodeToMicrovolts(code, s.GainFactor)};
        }
        text.append(row, RecordingFormat::AppendRow(row, i + 1, cells));
    }
    return QByteArray::fromStdString(text);
}
