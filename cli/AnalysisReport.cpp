// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/AnalysisReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <span>

#include "analysis/AnalysisProgress.h"
#include "analysis/DynamicFigureTable.h"
#include "analysis/NoiseFigureTable.h"
#include "charts/PictureCaption.h"
#include "cli/CliExit.h"
#include "cli/CliOutputs.h"
#include "cli/ProgressBar.h"
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

// "CH0 : NAME：VALUE UNIT（NOTE）" per figure.
QStringList FigureLines(int channel, const std::vector<NoiseFigure>& figures) {
    QStringList lines;
    for (const NoiseFigure& figure : figures) {
        lines << ChannelPrefix(channel) + QString::fromStdString(figure.name) +
                     QStringLiteral("：") +
                     QString::fromStdString(NoiseFigureTable::LineText(figure));
    }
    return lines;
}

// The "dynamic" object of a channel: null where no sine was found.
QJsonValue DynamicJson(const DynamicFigures& figures) {
    if (!figures.sine) {
        return QJsonValue(QJsonValue::Null);
    }
    const SineFigures& sine = *figures.sine;
    QJsonArray harmonics;
    for (const HarmonicFigure& h : sine.harmonics) {
        harmonics.append(
            QJsonObject{{"order", h.order}, {"frequencyHz", h.frequencyHz}, {"dbc", h.dbc}});
    }
    QJsonValue fit(QJsonValue::Null);
    if (sine.fit) {
        fit = QJsonObject{{"frequencyHz", sine.fit->frequencyHz},
                          {"amplitudeMicrovolts", sine.fit->amplitudeMicrovolts},
                          {"offsetMicrovolts", sine.fit->offsetMicrovolts},
                          {"sinadDb", Optional(sine.fit->sinadDb)},
                          {"enobBits", Optional(sine.fit->enobBits)}};
    }
    return QJsonObject{
        {"fundamentalHz", sine.fundamentalHz},
        {"fundamentalDbfs", sine.fundamentalDbfs},
        {"fundamentalMicrovoltsRms", sine.fundamentalMicrovoltsRms},
        {"snrDb", Optional(sine.snrDb)},
        {"thdDb", Optional(sine.thdDb)},
        {"sinadDb", Optional(sine.sinadDb)},
        {"sfdrDb", Optional(sine.sfdrDb)},
        {"sfdrSpurHz", Optional(sine.sfdrSpurHz)},
        {"enobBits", Optional(sine.enobBits)},
        {"enobFullScaleBits", Optional(sine.enobFullScaleBits)},
        {"noiseFloorDbfs", Optional(sine.noiseFloorDbfs)},
        {"noiseDensityNanovoltsPerRootHz", Optional(sine.noiseDensityNanovoltsPerRootHz)},
        {"harmonics", harmonics},
        {"sineFit", fit}};
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

// The analysis on a thread of its own while this one shows how far it has come, on a terminal
// and once it has taken longer than a second: a short one leaves the terminal as it was.
std::optional<RecordingAnalysis> AnalyseShowingProgress(RecordingAnalysis::Request request,
                                                        RecordingAnalysis::Failure* failure,
                                                        std::string* reason) {
    using namespace std::chrono_literals;
    AnalysisProgress progress;
    request.progress = &progress;
    std::future<std::optional<RecordingAnalysis>> analysis =
        std::async(std::launch::async, [&request, failure, reason] {
            return RecordingAnalysis::Analyse(request, failure, reason);
        });
    ProgressBar bar(ProgressBar::Mode::Share);
    const auto shownFrom = ProgressBar::Clock::now() + 1s;
    const auto show = [&] {
        if (ProgressBar::Clock::now() >= shownFrom) {
            bar.Show(std::llround(progress.Fraction() * 1000.0), 1000);
        }
    };
    while (analysis.wait_for(100ms) != std::future_status::ready) {
        show();
    }
    show();
    bar.Finish();
    return analysis.get();
}

}  // namespace

OptionReader::Options AnalysisPictures::With(OptionReader::Options own) {
    own.push_back({"histogram", OptionReader::Text(histogramFile)});
    own.push_back({"spectrum", OptionReader::Text(spectrumFile)});
    own.push_back({"allan", OptionReader::Text(allanFile)});
    own.push_back({"fft", OptionReader::Text(fftFile)});
    own.push_back({"dynamic", OptionReader::Flag(fDynamic)});
    return own;
}

bool AnalysisPictures::Write(CliOutputs& outputs, const AnalysisReport& analysis,
                             const QString& sourcePath) const {
    const std::pair<const QString&, AnalysisCharts::Kind> pictures[] = {
        {histogramFile, AnalysisCharts::Kind::Histogram},
        {spectrumFile, AnalysisCharts::Kind::Spectrum},
        {allanFile, AnalysisCharts::Kind::Allan},
        {fftFile, AnalysisCharts::Kind::Fft}};
    bool fWritten = true;
    for (const auto& [fileName, kind] : pictures) {
        if (!fileName.isEmpty()) {
            fWritten = outputs.Write(fileName, analysis.Picture(kind, sourcePath)) && fWritten;
        }
    }
    return fWritten;
}

AnalysisReport::AnalysisReport(const Measurement& data, std::optional<int> onlyChannel,
                               bool fDynamic)
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
        const std::span codes(series.Codes, static_cast<std::size_t>(series.Count));
        Add(channel, fHasData,
            !fHasData  ? std::nullopt
            : fDynamic ? NoiseAnalysis::WithDynamic(codes, data.Settings)
                       : NoiseAnalysis::Compute(codes, data.Settings));
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
                                                          QJsonObject& settings, bool fDynamic,
                                                          bool fShowProgress) {
    RecordingAnalysis::Failure failure = RecordingAnalysis::Failure::None;
    std::string reason;
    const RecordingAnalysis::Request request = {.path = path.toStdString(),
                                                .onlyChannel = onlyChannel,
                                                .sampleRate = sampleRate,
                                                .fDynamic = fDynamic};
    std::optional<RecordingAnalysis> recording =
        fShowProgress ? AnalyseShowingProgress(request, &failure, &reason)
                      : RecordingAnalysis::Analyse(request, &failure, &reason);
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
        lines += FigureLines(c.channel, NoiseFigureTable::Rows(c.analysis));
    }
    if (!channels.empty()) {
        lines << QString::fromStdString(NoiseFigureTable::kMissingCodesNote);
    }
    for (const Channel& c : channels) {
        if (c.analysis.dynamic) {
            lines += FigureLines(c.channel, DynamicFigureTable::Rows(*c.analysis.dynamic,
                                                                     c.analysis.statistics.count));
        }
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
    QJsonObject object{
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
    if (a.dynamic) {
        object["dynamic"] = DynamicJson(*a.dynamic);
    }
    return object;
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
