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
#include "cli/OptionReader.h"

class AnalysisReport;
class CliOutputs;
class Measurement;
class RecordingAnalysis;

// --histogram, --spectrum, --allan and --fft: the analysis pictures measure and analyze write,
// and --dynamic, the figures of a sine applied, which the FFT's picture shows too.
struct AnalysisPictures {
    QString histogramFile;
    QString spectrumFile;
    QString allanFile;
    QString fftFile;
    bool fDynamic = false;

    // `own` and the five options.
    OptionReader::Options With(OptionReader::Options own);
    QStringList Files() const { return {histogramFile, spectrumFile, allanFile, fftFile}; }
    bool Wanted() const { return !(histogramFile + spectrumFile + allanFile + fftFile).isEmpty(); }
    bool WantsDynamic() const { return fDynamic || !fftFile.isEmpty(); }
    // The pictures asked for, of the --channel channel or the first one analysed, captioned
    // with the data file at `sourcePath` (empty: data just measured); false when one of them
    // was not written (the reason printed).
    bool Write(CliOutputs& outputs, const AnalysisReport& analysis,
               const QString& sourcePath) const;
};

// The noise analysis of a measurement's channels as the command line prints it: one line per
// figure and channel, or JSON objects. Channels that cannot be analysed are named in
// Problems().
class AnalysisReport {
public:
    struct Channel {
        int channel;
        NoiseAnalysis analysis;
    };

    // Every channel the settings name, or only `onlyChannel`; with fDynamic each with the
    // dynamic figures too.
    AnalysisReport(const Measurement& data, std::optional<int> onlyChannel, bool fDynamic);
    // Every channel of a recording, or only `onlyChannel`.
    AnalysisReport(RecordingAnalysis recording, std::optional<int> onlyChannel);

    // `analysis` with the channels that could not be analysed printed; nothing when no
    // channel could be.
    static std::optional<AnalysisReport> Checked(AnalysisReport analysis);
    // The analysis of the recording at `path`, at `sampleRate` where given (over what the
    // file says), its settings keys into `settings`; nothing, the reasons printed, when the
    // file is no recording or no channel could be analysed. fDynamic as above; with
    // fShowProgress a terminal shows the analysis's progress once it takes over a second.
    static std::optional<AnalysisReport> OfRecording(const QString& path,
                                                     std::optional<int> onlyChannel,
                                                     std::optional<double> sampleRate,
                                                     QJsonObject& settings, bool fDynamic = false,
                                                     bool fShowProgress = false);

    double SampleRate() const { return sampleRate; }
    const std::vector<Channel>& Channels() const { return channels; }
    const QStringList& Problems() const { return problems; }

    // One line per figure and channel, then what the missing codes count, then the dynamic
    // figures of each channel that has them.
    QStringList Lines() const;
    // The chart of the first channel analysed, captioned with the data file at `sourcePath`
    // (empty: data just measured). Needs a QApplication.
    QImage Picture(AnalysisCharts::Kind kind, const QString& sourcePath) const;
    // The analysis keys of one channel's JSON object; "dynamic" where the figures were asked
    // for (null: no sine found).
    static QJsonObject ChannelJson(const Channel& channel);
    // {"settings", "sampleRate", "channels"} with the analysis keys alone, and the keys of
    // `extra`.
    QByteArray Json(const QJsonObject& settings, const QJsonObject& extra = {}) const;
    // The lines, or with fJson the JSON object.
    void Print(bool fJson, const QJsonObject& settings, const QJsonObject& extra = {}) const;

private:
    // The channel's figures, or why it has none: no data, or too few samples.
    void Add(int channel, bool fHasData, std::optional<NoiseAnalysis> analysis);

    double sampleRate;
    bool fSinc5;
    std::vector<Channel> channels;
    QStringList problems;
};
