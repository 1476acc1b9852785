// SPDX-License-Identifier: GPL-3.0-or-later
// record: the recorder (CSV or HDF5) driven by the command line's own loop, with the window's
// texts for every way it can end and, after an early end, what the file keeps; then, when
// asked for, the analysis of the file. Ctrl-C and SIGTERM stop it as the stop button does; a
// reader of the file that went away makes a failed write instead of ending the program (SIGPIPE
// is ignored). Between wakes it sleeps as the engine says, which also bounds the sleep by the
// file's flush and sync and by the time-out.

#include <QJsonObject>
#include <csignal>

#include "cli/AnalysisReport.h"
#include "cli/CliPrompts.h"
#include "cli/CommandTable.h"
#include "cli/ProgressBar.h"
#include "cli/RecordOptions.h"
#include "cli/RunLoop.h"
#include "cli/StopSignal.h"
#include "common/SampleRates.h"
#include "link/Ad7172.h"
#include "record/Recorder.h"
#include "record/RecordingFormat.h"
#include "record/RecordingTexts.h"

namespace {

class RecordCommand : public CliCommand {
public:
    using Options = RecordOptions;

    explicit RecordCommand(Options recordOptions) : options(std::move(recordOptions)) {}

    int Run() override {
        const std::unique_ptr<FifoDriver> driver = options.board.Open();
        if (!driver) {
            return CliExit::kUsage;
        }
        if (!Record(*driver)) {
            return CliExit::kFailure;
        }
        if (!options.fAnalyze && !options.fJson) {
            return CliExit::kOk;
        }
        QJsonObject settings;
        const std::optional<AnalysisReport> analysis =
            AnalysisReport::OfRecording(options.output, std::nullopt, std::nullopt, settings);
        if (!analysis) {
            return CliExit::kFailure;
        }
        const QJsonObject extra{
            {"board", QJsonObject{{"name", QString::fromStdString(header.boardName)},
                                  {"version", QString::fromStdString(header.boardVersion)}}},
            {"file", options.output},
            {"start", QString::fromStdString(RecordingFormat::IsoTime(header.start))},
            {"count", static_cast<qint64>(written)}};
        analysis->Print(options.fJson, settings, extra);
        return CliExit::kOk;
    }

private:
    // The recording from start to end; false when it failed or kept no sample (the reason is
    // printed on standard error).
    bool Record(FifoDriver& driver) {
        const StopSignal stopSignal;
        std::signal(SIGPIPE, SIG_IGN);
        TADC adc(driver);  // its reply waits sleep in poll() until the board answers
        Acquisition engine(adc);
        Recorder recorder(engine);
        const auto type =
            options.WritesHdf5() ? RecordingSink::Type::Hdf5 : RecordingSink::Type::Csv;
        if (!Started(recorder.Start(Request(), type), recorder)) {
            return false;
        }
        header = recorder.Header();
        ProgressBar progress(ProgressBar::Mode::BarOrLines,
                             SampleRates::SamplesPerSecond(header.spsSel, header.fSinc5));
        RunLoop::Drive(engine, [&] { progress.Show(recorder.Written(), recorder.Total()); });
        progress.Finish();
        written = recorder.Kept();
        return Ended(recorder);
    }

    Recorder::Request Request() const {
        Recorder::Request request{
            .run = {.settings = options.board.settings, .count = options.Samples()},
            .file = {.path = options.output.toStdString(),
                     .fOverwrite = options.fForce,
                     .fCompress = options.fCompress}};
        if (options.timeoutSeconds) {
            request.run.noDataTimeout = std::chrono::duration_cast<Acquisition::Clock::duration>(
                std::chrono::duration<double>(*options.timeoutSeconds));
        }
        return request;
    }

    // False, with the reason printed, unless the recording started.
    bool Started(Acquisition::StartResult result, const Recorder& recorder) {
        if (result != Acquisition::StartResult::Refused) {
            messages.StartFailed(result);
            return result == Acquisition::StartResult::Started;
        }
        if (recorder.Refused() == FileRefusal::Exists) {
            CliExit::PrintError(CliExit::ExistingFileText(options.output));
        } else {
            CliExit::PrintError(QString::fromStdString(
                RecordingTexts::FileFailed(options.output.toStdString(), recorder.FileError())));
        }
        return false;
    }

    // False, with the reason printed, unless the recording ended complete or stopped with
    // samples kept.
    bool Ended(const Recorder& recorder) {
        const std::string fileName = options.output.toStdString();
        const AcquisitionOutcome outcome = recorder.Result();
        if (outcome == AcquisitionOutcome::Complete || outcome == AcquisitionOutcome::None) {
            return outcome == AcquisitionOutcome::Complete;
        }
        CliExit::PrintRunEnd(messages, outcome);
        if (outcome == AcquisitionOutcome::WriteFailed) {
            CliExit::PrintError(
                QString::fromStdString(RecordingTexts::FileFailed(fileName, recorder.FileError())));
        }
        CliExit::PrintError(QString::fromStdString(RecordingTexts::Kept(fileName, written)));
        return outcome == AcquisitionOutcome::Stopped && written > 0;
    }

    const Options options;
    CliPrompts prompts;
    TmyMessage messages = prompts.Messages();
    RecordingHeader header;
    std::int64_t written = 0;  // the samples the file keeps
};

}  // namespace

const CommandTable::Row CommandTable::kRecord = {
    "record",
    "[--device D] [--rate SPS] [--filter sinc3|sinc5]\n"
    "[--channel 0|1|2|both] (--count N | --duration 1h30m)\n"
    "--output FILE.csv|FILE.h5 [--format csv|h5] [--compress]\n"
    "[--force] [--timeout S] [--analyze] [--json]",
    "長時間の記録：データを CSV か HDF5 のファイルに書きながら測定します\n"
    "（--count は 1 から 1048575 まで。--duration は 1h30m、90s、2h のように\n"
    "指定し、1048575 データを超えると開始コマンドを続けて送ります）",
    CliCommand::Made<RecordCommand>};
