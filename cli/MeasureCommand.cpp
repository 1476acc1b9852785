// SPDX-License-Identifier: GPL-3.0-or-later
// measure: one run of the board as the window's measure button makes it, its statistics
// printed, its data saved as a ".DTA" file, a table and a graph, and its noise analysed when
// asked for. Every file is checked before the board is contacted; after Ctrl-C the samples kept
// are given and the tool says where they went.

#include <QStringList>

#include "cli/AnalysisReport.h"
#include "cli/BoardOptions.h"
#include "cli/CliOutputs.h"
#include "cli/CliPrompts.h"
#include "cli/CliReport.h"
#include "cli/CommandTable.h"
#include "cli/ProgressBar.h"
#include "cli/ReadingReport.h"
#include "cli/RunLoop.h"
#include "cli/StopSignal.h"
#include "common/SampleRates.h"
#include "datafile/Myfile.h"
#include "link/Ad7172.h"
#include "measure/Acquisition.h"
#include "measure/Measurement.h"
#include "status/StatusTexts.h"

namespace {

// The counts --count offers ("100、200、...").
QString CountList() {
    QStringList counts;
    for (const int count : kSampleCounts) {
        counts << QString::number(count);
    }
    return counts.join(QStringLiteral("、"));
}

class MeasureCommand : public CliCommand {
public:
    struct Options {
        // Readings over line cycles without --count.
        static constexpr std::int64_t kDefaultReadings = 10;

        BoardOptions board;
        ReportOptions report;
        AnalysisPictures pictures;
        ReadingOptions readings;
        QString output;  // the ".DTA" file
        QString countText;
        std::int64_t readingCount = kDefaultReadings;
        bool fForce = false;
        bool fAnalyze = false;

        bool Parse(const QStringList& arguments, QString& error) {
            const OptionReader::Options own = {{"count", OptionReader::Text(countText)},
                                               {"output", OptionReader::Text(output)},
                                               {"force", OptionReader::Flag(fForce)},
                                               {"analyze", OptionReader::Flag(fAnalyze)}};
            return OptionReader::Read(
                       "measure", arguments, 0,
                       board.With(report.With(pictures.With(readings.With(own, true)))), error) &&
                   board.ResolveRate(error) && ResolveCount(error) && CheckReadings(error);
        }
        // A sample count of the window's list; with --nplc a count of readings whose samples
        // one run holds.
        bool ResolveCount(QString& error) {
            if (readings.lineCycles) {
                return ResolveReadingCount(error);
            }
            for (int i = 0; i < kSampleCountCount; ++i) {
                if (countText.isEmpty() || countText == QString::number(kSampleCounts[i])) {
                    board.settings.DataCountSel = countText.isEmpty() ? 3 : i;
                    return true;
                }
            }
            error = QStringLiteral("--count %1 は選べません。選べるデータ数：%2")
                        .arg(countText, CountList());
            return false;
        }
        bool ResolveReadingCount(QString& error) {
            // Readings over line cycles are measured at the top rate unless a rate was asked
            // for: the most samples a cycle, 625 of them at 50 Hz.
            if (!board.samplesPerSecond) {
                board.settings.spsSel = kRateCount - 1;
            }
            const std::int64_t most =
                Acquisition::kMaxStartCount / readings.Aperture().SamplesPerReading(
                                                  SampleRates::SamplesPerSecond(board.settings));
            const std::optional<int> count =
                countText.isEmpty() ? std::optional<int>(kDefaultReadings)
                                    : OptionReader::Number(countText, 1, static_cast<int>(most));
            if (!count) {
                error = QStringLiteral(
                            "--count %1 は測れません。--nplc %2 で測れる読み値の数：1 から "
                            "%3 まで")
                            .arg(countText, QString::number(*readings.lineCycles))
                            .arg(most);
                return false;
            }
            readingCount = *count;
            return true;
        }
        // Readings over line cycles are no data file's samples, nor the window's graph.
        bool CheckReadings(QString& error) const {
            if (!readings.lineCycles) {
                if (readings.fLineGiven) {
                    error = QStringLiteral("--line は --nplc と一緒に指定してください");
                }
                return !readings.fLineGiven;
            }
            const std::pair<bool, const char*> others[] = {
                {!output.isEmpty(), "--output"},
                {!report.pngFile.isEmpty(), "--png"},
                {WantsAnalysis(), "--analyze、--dynamic と解析の画像"}};
            for (const auto& [fGiven, name] : others) {
                if (fGiven) {
                    error = QStringLiteral("--nplc と %1 は一緒に使えません").arg(name);
                    return false;
                }
            }
            return true;
        }
        std::int64_t SamplesPerRun() const {
            if (!readings.lineCycles) {
                return kSampleCounts[board.settings.DataCountSel];
            }
            return readingCount * readings.Aperture().SamplesPerReading(
                                      SampleRates::SamplesPerSecond(board.settings));
        }
        bool WantsAnalysis() const {
            return fAnalyze || pictures.Wanted() || pictures.WantsDynamic();
        }
    };

    explicit MeasureCommand(Options measureOptions)
        : options(std::move(measureOptions)),
          prompts(options.fForce),
          outputs(QStringList{options.output, options.report.csvFile, options.report.pngFile} +
                      options.pictures.Files(),
                  !options.fForce) {}

    bool WantsPicture() const override {
        return !options.report.pngFile.isEmpty() || options.pictures.Wanted();
    }

    int Run() override {
        if (!outputs.MayBeWritten()) {
            return CliExit::kFailure;
        }
        const std::unique_ptr<FifoDriver> driver = options.board.Open();
        if (!driver) {
            return CliExit::kUsage;
        }
        auto data = std::make_unique<Measurement>(std::max<std::int32_t>(
            kSeriesCapacity, static_cast<std::int32_t>(options.SamplesPerRun())));
        data->Settings = options.board.settings;
        std::optional<CliReport::Board> board;
        const std::optional<AcquisitionOutcome> outcome = Acquire(*driver, *data, board);
        if (!outcome) {
            return CliExit::kFailure;
        }
        const int exitCode = Report(*data, board);
        if (outcome == AcquisitionOutcome::Stopped) {
            CliExit::PrintError(
                StoppedNotice(data->Series(data->Settings.CHSel == 1 ? 1 : 0).Count));
        }
        return exitCode;
    }

private:
    // Identification, configuration and acquisition, with Ctrl-C as the stop button: how the
    // run ended, or nothing when it left no data to keep (the reason is printed).
    std::optional<AcquisitionOutcome> Acquire(FifoDriver& driver, Measurement& data,
                                              std::optional<CliReport::Board>& board) {
        const StopSignal stopSignal;
        TADC adc(driver);  // its reply waits sleep in poll() until the board answers
        Acquisition engine(adc);
        board = CliReport::Identify(engine, messages);
        if (!board) {
            return std::nullopt;
        }
        const Acquisition::StartResult started =
            engine.Start({.settings = data.Settings, .count = options.SamplesPerRun()}, {&data});
        if (started != Acquisition::StartResult::Started) {
            messages.StartFailed(started);
            return std::nullopt;
        }
        ProgressBar progress;
        RunLoop::Drive(engine, [&] { progress.Show(engine.Acquired(), engine.Total()); });
        progress.Finish();
        switch (engine.Result()) {
            case AcquisitionOutcome::Complete:
                return AcquisitionOutcome::Complete;
            case AcquisitionOutcome::Stopped:
                // As the stop button: the samples are kept from 10 on.
                CliExit::PrintError(StatusTexts::Stopped());
                if (!data.HasData(data.Settings.CHSel == 1 ? 1 : 0)) {
                    CliExit::PrintError(
                        QStringLiteral("データが %1 個未満のため保存していません（%2 データ）")
                            .arg(Measurement::kMinSamplesKept)
                            .arg(engine.Acquired()));
                    return std::nullopt;
                }
                return AcquisitionOutcome::Stopped;
            default:
                CliExit::PrintError(StatusTexts::MeasureError());
                return std::nullopt;
        }
    }

    // Every file is written that can be, and the figures are printed all the same: a file that
    // could not be written costs neither the others nor the run's statistics.
    int Report(Measurement& data, const std::optional<CliReport::Board>& board) {
        const std::optional<AnalysisReport> analysis =
            options.WantsAnalysis() ? AnalysisReport::Checked(AnalysisReport(
                                          data, std::nullopt, options.pictures.WantsDynamic()))
                                    : std::nullopt;
        const CliReport report(data, options.report.fVolt);
        const std::optional<ReadingReport> readings =
            options.readings.Wanted()
                ? std::optional<ReadingReport>(std::in_place, data, options.readings)
                : std::nullopt;
        bool fWritten = options.output.isEmpty() || SaveDataFile(data);
        if (analysis) {
            fWritten = options.pictures.Write(outputs, *analysis, {}) && fWritten;
        }
        fWritten = report.WriteFiles(outputs, options.report, board, {}) && fWritten;
        if (options.WantsAnalysis() && !analysis) {
            return CliExit::kFailure;
        }
        if (readings && readings->Empty()) {
            CliExit::PrintError(
                QStringLiteral("読み値が 1 個もありません（データ %1 個）").arg(data.Acquired()));
            return CliExit::kFailure;
        }
        report.Print(options.report.fJson, false, board, analysis ? &*analysis : nullptr,
                     readings ? &*readings : nullptr);
        return fWritten ? CliExit::kOk : CliExit::kFailure;
    }

    bool SaveDataFile(const Measurement& data) {
        const std::string path = options.output.toStdString();
        TmyFile file(prompts);
        FileFailure failure;
        const MeasureSettings& settings = data.Settings;
        const bool fSaved =
            settings.CHSel == 2
                ? file.SaveTwoChannels(path, settings, data.Series(0), data.Series(1), &failure)
                : file.SaveOneChannel(path, settings, data.Series(settings.CHSel), &failure);
        if (!fSaved) {
            CliExit::PrintError(
                CliExit::FileFailureText(CliExit::kSaveFailedText, options.output, failure));
            return false;
        }
        // The file turned up while the run went on: nothing was written.
        if (prompts.Declined()) {
            CliExit::PrintError(CliExit::ExistingFileText(options.output));
            return false;
        }
        outputs.Note(options.output);
        return true;
    }

    // After Ctrl-C: whether the samples kept are in a file, and in which.
    QString StoppedNotice(int count) const {
        QStringList files;
        for (const QString& name : {options.output, options.report.csvFile}) {
            if (!name.isEmpty() && outputs.Written().contains(name)) {
                files << name;
            }
        }
        if (files.isEmpty()) {
            return QStringLiteral("%1 データはファイルに保存していません").arg(count);
        }
        return QStringLiteral("%1 データを保存しました：").arg(count) +
               files.join(QStringLiteral("、"));
    }

    const Options options;
    CliPrompts prompts;
    TmyMessage messages = prompts.Messages();
    CliOutputs outputs;
};

}  // namespace

const CommandTable::Row CommandTable::kMeasure = {
    "measure",
    "[--device D] [--rate SPS] [--filter sinc3|sinc5]\n"
    "[--channel 0|1|2|both] [--count 100|200|500|1000|2000|5000|10000]\n"
    "[--output FILE.DTA] [--force] [--csv FILE] [--png FILE]\n"
    "[--volt] [--json] [--analyze] [--histogram PNG]\n"
    "[--spectrum PNG] [--allan PNG] [--dynamic] [--fft PNG]\n"
    "[--nplc N [--line 50|60]] [--null V] [--scale GAIN[,OFFSET[,UNIT]]]",
    "測定して統計を表示し、データを保存します\n"
    "（既定値：--rate 10 --count 1000 --channel 0 --filter sinc5。\n"
    "--nplc では --count は読み値の数で既定 10、レートは 31250）",
    CliCommand::Made<MeasureCommand>};
