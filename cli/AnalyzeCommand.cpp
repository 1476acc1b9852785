// SPDX-License-Identifier: GPL-3.0-or-later
// analyze: the noise analysis of a ".DTA" file, a table (a recording, `measure --csv`,
// `show --csv`; refused unless its "#" lines or --rate give the rate) or an HDF5 recording,
// told apart by their first bytes; --rate on a ".DTA" file is a usage error.

#include "cli/AnalysisReport.h"
#include "cli/CliOutputs.h"
#include "cli/CliReport.h"
#include "cli/CommandTable.h"
#include "measure/Measurement.h"
#include "record/RecordingSource.h"

namespace {

class AnalyzeCommand : public CliCommand {
public:
    struct Options {
        QString dataFile;
        std::optional<int> channel;              // the one channel to analyse
        std::optional<double> samplesPerSecond;  // the data's rate, over what the file says
        AnalysisPictures pictures;
        bool fJson = false;

        bool Parse(const QStringList& arguments, QString& error) {
            const OptionReader::Options own = {
                {"channel",
                 [this](const QString& value, QString&) {
                     channel = OptionReader::Number(value, 0, 1);
                     return channel.has_value();
                 }},
                {"rate", OptionReader::SamplesPerSecond(samplesPerSecond)},
                {"json", OptionReader::Flag(fJson)}};
            const std::optional<QStringList> files =
                OptionReader::Read("analyze", arguments, 1, pictures.With(own), error);
            dataFile = files ? files->first() : QString();
            return files.has_value();
        }
    };

    explicit AnalyzeCommand(Options analyzeOptions)
        : options(std::move(analyzeOptions)), outputs(options.pictures.Files(), false) {}

    bool WantsPicture() const override { return options.pictures.Wanted(); }

    int Run() override {
        if (!outputs.MayBeWritten()) {
            return CliExit::kFailure;
        }
        QJsonObject settings;
        std::optional<AnalysisReport> analysis;
        if (RecordingSource::IsRecording(options.dataFile.toStdString())) {
            analysis = AnalysisReport::OfRecording(options.dataFile, options.channel,
                                                   options.samplesPerSecond, settings,
                                                   options.pictures.WantsDynamic(), true);
        } else {
            auto data = std::make_unique<Measurement>();
            if (!CliReport::Load(options.dataFile, *data)) {
                return CliExit::kFailure;
            }
            if (options.samplesPerSecond) {
                CliExit::PrintError(QStringLiteral("--rate は CSV の表のためのものです（データ"
                                                   "ファイルはサンプルレートを持っています）：") +
                                    options.dataFile);
                return CliExit::kUsage;
            }
            settings = CliReport(*data, false).SettingsJson();
            analysis = AnalysisReport::Checked(
                AnalysisReport(*data, options.channel, options.pictures.WantsDynamic()));
        }
        if (!analysis) {
            return CliExit::kFailure;
        }
        const bool fWritten = options.pictures.Write(outputs, *analysis, options.dataFile);
        analysis->Print(options.fJson, settings);
        return fWritten ? CliExit::kOk : CliExit::kFailure;
    }

private:
    const Options options;
    CliOutputs outputs;
};

}  // namespace

const CommandTable::Row CommandTable::kAnalyze = {
    "analyze",
    "FILE.DTA|FILE.csv|FILE.h5 [--channel 0|1] [--rate SPS]\n"
    "[--json] [--histogram PNG] [--spectrum PNG] [--allan PNG]\n"
    "[--dynamic] [--fft PNG]",
    "データファイルか CSV の表か HDF5 の記録のノイズを解析します（分解能、\n"
    "ヒストグラム、ノイズスペクトル密度、アラン偏差、--dynamic で正弦波の特性）",
    CliCommand::Made<AnalyzeCommand>};
