// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <string>
#include <vector>

#include <cstdio>

#include "cli/AnalysisReport.h"
#include "cli/CliExit.h"
#include "cli/CliOutputs.h"
#include "cli/CliPrompts.h"
#include "cli/GraphPicture.h"
#include "cli/ReadingReport.h"
#include "common/Codes.h"
#include "datafile/Myfile.h"
#include "measure/Acquisition.h"
#include "measure/Measurement.h"
#include "record/RecordingFormat.h"
#include "status/StatusTexts.h"

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

OptionReader::Options ReportOptions::With(OptionReader::Options own) {
    own.push_back({"csv", OptionReader::Text(csvFile)});
    own.push_back({"png", OptionReader::Text(pngFile)});
    own.push_back({"volt", OptionReader::Flag(fVolt)});
    own.push_back({"json", OptionReader::Flag(fJson)});
    return own;
}

CliReport::CliReport(Measurement& measurement, bool fVoltMode)
    : data(measurement), fVolt(fVoltMode) {}

std::optional<CliReport::Board> CliReport::Identify(Acquisition& engine, TmyMessage& messages) {
    const Acquisition::StartResult result = engine.Identify();
    if (result != Acquisition::StartResult::Started) {
        messages.StartFailed(result);
        return std::nullopt;
    }
    return Board{QString::fromStdString(engine.Info().boardName),
                 QString::fromStdString(engine.Info().boardVersion)};
}

bool CliReport::Load(const QString& path, Measurement& data) {
    // Keys the file lacks keep the start-up settings.
    MeasureSettings loaded;
    CliPrompts prompts;
    TmyFile file(prompts);
    FileFailure failure;
    if (!file.Load(path.toStdString(), loaded, data.Series(0), data.Series(1), &failure)) {
        CliExit::PrintError(CliExit::FileFailureText(
            failure.IsAccess() ? QStringLiteral("データファイルを読めませんでした")
                               : CliExit::kBadDataFileText,
            path, failure));
        return false;
    }
    data.Settings = loaded;
    return true;
}

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
        lines << StatusTexts::Statistics(data, channel, fVolt);
    }
    return lines;
}

QJsonObject CliReport::SettingsJson() const {
    const MeasureSettings& s = data.Settings;
    return QJsonObject{{"spsSel", s.spsSel}, {"DataCountSel", s.DataCountSel},
                       {"CHSel", s.CHSel},   {"GainSel", s.GainSel},
                       {"fSinc5", s.fSinc5}, {"fBUF_ON", s.fBUF_ON}};
}

QByteArray CliReport::Json(const std::optional<Board>& board, const AnalysisReport* analysis,
                           const ReadingReport* readings) const {
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
                           {"statistics", StatusTexts::Statistics(data, channel, fVolt)}};
        AddAnalysis(object, analysis, channel);
        if (readings != nullptr) {
            readings->AddTo(object, channel);
        }
        channels.append(object);
    }
    root["channels"] = channels;
    if (analysis != nullptr) {
        root["sampleRate"] = analysis->SampleRate();
    }
    if (readings != nullptr) {
        root["readingSettings"] = readings->SettingsJson();
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

// Every file is written that can be: one that could not be written costs neither the other
// nor the figures.
bool CliReport::WriteFiles(CliOutputs& outputs, const ReportOptions& options,
                           const std::optional<Board>& board, const QString& sourcePath) const {
    bool fWritten = true;
    if (!options.csvFile.isEmpty()) {
        fWritten = outputs.Write(options.csvFile, Csv(board));
    }
    if (!options.pngFile.isEmpty()) {
        fWritten = outputs.Write(options.pngFile, GraphPicture::Render(data, fVolt, sourcePath)) &&
                   fWritten;
    }
    return fWritten;
}

void CliReport::Print(bool fJson, bool fSettings, const std::optional<Board>& board,
                      const AnalysisReport* analysis, const ReadingReport* readings) const {
    if (fJson) {
        std::fputs(Json(board, analysis, readings).constData(), stdout);
        return;
    }
    QStringList lines = fSettings ? SettingsLines() : QStringList();
    lines += readings != nullptr ? readings->Lines() : StatisticsLines();
    if (analysis != nullptr) {
        lines += analysis->Lines();
    }
    for (const QString& line : lines) {
        CliExit::PrintLine(line);
    }
}
