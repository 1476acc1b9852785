// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/AnalysisReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <algorithm>
#include <span>

#include <cstdio>

#include "analysis/NoiseFigureTable.h"
#include "charts/PictureCaption.h"
#include "cli/CliExit.h"
#include "cli/CliOutputs.h"
#include "common/FileError.h"
#include "common/SampleRates.h"
#include "measure/Measurement.h"
#include "record/RecordingAnalysis.h"

namespace {

template <typename T>
QJsonArray JsonArray(const std::vector<T>& values) {
    QJsonArray array;
    for (const T value : values) {
        array.append(static_cast<double>(value));
    }
    return array;
}

QJsonValue Optional(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QString ChannelPrefix(int channel) {
    return QStringLiteral("CH%1 : ").arg(channel);
}

// Why a recording could not be analysed; `reason`: what is wrong with a file that is no
// recording.
QString FailureText(const QString& path, RecordingAnalysis::Failure failure,
                    const std::string& reason) {
    switch (failure) {
        case RecordingAnalysis::Failure::NoSampleRate:
            return QString::fromStdString(FileErrorText(
                "サンプルレートがわかりません", path.toStdString(),
                "表にサンプルレートの # 行がありません。--rate 31250 のように指定してください"));
        case RecordingAnalysis::Failure::BadFile:
            return QString::fromStdString(
                FileErrorText(CliExit::kBadDataFileText.toStdString(), path.toStdString(),
                              reason.empty() ? RecordingAnalysis::kBadTableReason : reason));
        default:
            return QStringLiteral("解析用の一時ファイルを書けませんでした");
    }
}

}  // namespace

OptionReader::Options AnalysisPictures::With(OptionReader::Options own) {
    own.push_back({"histogram", OptionReader::Text(histogramFile)});
    own.push_back({"spectrum", OptionReader::Text(spectrumFile)});
    own.push_back({"allan", OptionReader::Text(allanFile)});
    return own;
}

bool AnalysisPictures::Write(CliOutputs& outputs, const AnalysisReport& analysis,
                             const QString& sourcePath) const {
    const std::pair<const QString&, AnalysisCharts::Kind> pictures[] = {
        {histogramFile, AnalysisCharts::Kind::Histogram},
        {spectrumFile, AnalysisCharts::Kind::Spectrum},
        {allanFile, AnalysisCharts::Kind::Allan}};
    bool fWritten = true;
    for (const auto& [fileName, kind] : pictures) {
        if (!fileName.isEmpty()) {
            fWritten = outputs.Write(fileName, analysis.Picture(kind, sourcePath)) && fWritten;
        }
    }
    return fWritten;
}

AnalysisReport::AnalysisReport(const Measurement& data, std::optional<int> onlyChannel)
    : sampleRate(SampleRates::SamplesPerSecond(data.Settings)), fSinc5(data.Settings.fSinc5) {
    for (int channel = 0; channel < 2; ++channel) {
        const bool fNamed =
            onlyChannel ? *onlyChannel == channel
                        : (channel == 0 ? data.Settings.CHSel != 1 : data.Settings.CHSel != 0);
        if (!fNamed) {
            continue;
        }
        const bool fHasData = data.HasData(channel);
        const ChannelSeries& series = data.Series(channel);
        Add(channel, fHasData,
            fHasData ? NoiseAnalysis::Compute(
                           std::span(series.Codes, static_cast<std::size_t>(series.Count)),
                           data.Settings)
                     : std::nullopt);
    }
}

AnalysisReport::AnalysisReport(RecordingAnalysis recording, std::optional<int> onlyChannel)
    : sampleRate(recording.sampleRate), fSinc5(recording.settings.fSinc5) {
    if (onlyChannel && std::none_of(recording.channels.begin(), recording.channels.end(),
                                    [&](const auto& c) { return c.channel == *onlyChannel; })) {
        Add(*onlyChannel, false, std::nullopt);
    }
    for (RecordingAnalysis::Channel& c : recording.channels) {
        Add(c.channel, true, std::move(c.analysis));
    }
}

std::optional<AnalysisReport> AnalysisReport::Checked(AnalysisReport analysis) {
    for (const QString& problem : analysis.Problems()) {
        CliExit::PrintError(problem);
    }
    if (analysis.Channels().empty()) {
        return std::nullopt;
    }
    return analysis;
}

std::optional<AnalysisReport> AnalysisReport::OfRecording(const QString& path,
                                                          std::optional<int> onlyChannel,
                                                          std::optional<double> sampleRate,
                                                          QJsonObject& settings) {
    RecordingAnalysis::Failure failure = RecordingAnalysis::Failure::None;
    std::string reason;
    std::optional<RecordingAnalysis> recording =
        RecordingAnalysis::Analyse(path.toStdString(), onlyChannel, &failure, sampleRate, &reason);
    if (!recording) {
        CliExit::PrintError(FailureText(path, failure, reason));
        return std::nullopt;
    }
    settings = QJsonObject{{"spsSel", recording->settings.spsSel},
                           {"CHSel", recording->settings.CHSel},
                           {"fSinc5", recording->settings.fSinc5}};
    return Checked(AnalysisReport(std::move(*recording), onlyChannel));
}

void AnalysisReport::Add(int channel, bool fHasData, std::optional<NoiseAnalysis> analysis) {
    if (!fHasData) {
        problems << ChannelPrefix(channel) + QStringLiteral("データがありません");
    } else if (!analysis) {
        problems << ChannelPrefix(channel) +
                        QString::fromStdString(NoiseFigureTable::kTooFewSamplesText);
    } else {
        channels.push_back({channel, std::move(*analysis)});
    }
}

QStringList AnalysisReport::Lines() const {
    QStringList lines;
    for (const Channel& c : channels) {
        for (const NoiseFigure& figure : NoiseFigureTable::Rows(c.analysis)) {
            lines << ChannelPrefix(c.channel) + QString::fromStdString(figure.name) +
                         QStringLiteral("：") +
                         QString::fromStdString(NoiseFigureTable::LineText(figure));
        }
    }
    if (!channels.empty()) {
        lines << QString::fromStdString(NoiseFigureTable::kMissingCodesNote);
    }
    return lines;
}

QImage AnalysisReport::Picture(AnalysisCharts::Kind kind, const QString& sourcePath) const {
    const Channel& shown = channels.front();
    return AnalysisCharts::Picture(kind, shown.analysis, shown.channel,
                                   PictureCaption::For(sourcePath, shown.channel, sampleRate,
                                                       fSinc5, shown.analysis.statistics.count));
}

QJsonObject AnalysisReport::ChannelJson(const Channel& c) {
    const NoiseAnalysis& a = c.analysis;
    const NoiseStatistics& s = a.statistics;
    QJsonValue lowFrequencyNoise(QJsonValue::Null);
    if (a.lowFrequencyNoise) {
        const LowFrequencyNoiseFigures& band = *a.lowFrequencyNoise;
        lowFrequencyNoise =
            QJsonObject{{"rmsMicrovolts", band.rmsMicrovolts},
                        {"peakToPeakMaxMicrovolts", band.peakToPeakMaxMicrovolts},
                        {"peakToPeakMedianMicrovolts", band.peakToPeakMedianMicrovolts},
                        {"windows", static_cast<qint64>(band.windows)}};
    }
    QJsonValue peak(QJsonValue::Null);
    if (a.spectrum.peak) {
        peak = QJsonObject{{"frequencyHz", a.spectrum.peak->frequencyHz},
                           {"nanovoltsPerRootHz", a.spectrum.peak->nanovoltsPerRootHz}};
    }
    return QJsonObject{
        {"channel", c.channel},
        {"count", static_cast<qint64>(s.count)},
        {"meanMicrovolts", s.meanMicrovolts},
        {"rmsMicrovolts", s.rmsMicrovolts},
        {"peakToPeakMicrovolts", s.peakToPeakMicrovolts},
        {"effectiveResolutionBits", s.effectiveResolutionBits},
        {"noiseFreeResolutionBits", s.noiseFreeResolutionBits},
        {"resolutionLimitedByCode", s.fResolutionLimitedByCode},
        {"driftMicrovoltsPerSecond", s.driftMicrovoltsPerSecond},
        {"missingCodes", static_cast<qint64>(a.histogram.missingCodes)},
        {"whiteNoiseNanovoltsPerRootHz", Optional(a.spectrum.whiteNoiseNanovoltsPerRootHz)},
        {"spectralPeak", peak},
        {"histogram", QJsonObject{{"firstCode", a.histogram.firstCode},
                                  {"binWidthCodes", a.histogram.binWidthCodes},
                                  {"counts", JsonArray(a.histogram.counts)}}},
        {"spectrum", QJsonObject{{"frequencyHz", JsonArray(a.spectrum.frequencyHz)},
                                 {"nanovoltsPerRootHz", JsonArray(a.spectrum.nanovoltsPerRootHz)}}},
        {"allan", QJsonObject{{"tauSeconds", JsonArray(a.allan.tauSeconds)},
                              {"deviationMicrovolts", JsonArray(a.allan.deviationMicrovolts)}}},
        {"allanMinimumReached", a.allan.MinimumReached()},
        {"spectrumLogFrequency",
         QJsonObject{{"frequencyHz", JsonArray(a.logSpectrum.frequencyHz)},
                     {"nanovoltsPerRootHz", JsonArray(a.logSpectrum.nanovoltsPerRootHz)}}},
        {"flickerCornerHz", Optional(a.logSpectrum.flickerCornerHz)},
        {"lowFrequencyNoise", lowFrequencyNoise}};
}

QByteArray AnalysisReport::Json(const QJsonObject& settings, const QJsonObject& extra) const {
    QJsonArray array;
    for (const Channel& c : channels) {
        array.append(ChannelJson(c));
    }
    QJsonObject root = extra;
    root["settings"] = settings;
    root["sampleRate"] = sampleRate;
    root["channels"] = array;
    return QJsonDocument(root).toJson(QJsonDocument::Compact) + '\n';
}

void AnalysisReport::Print(bool fJson, const QJsonObject& settings,
                           const QJsonObject& extra) const {
    if (fJson) {
        std::fputs(Json(settings, extra).constData(), stdout);
        return;
    }
    for (const QString& line : Lines()) {
        CliExit::PrintLine(line);
    }
}
