// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliRecording.h"

#include <csignal>

#include "cli/CliCommands.h"
#include "cli/ProgressBar.h"
#include "cli/RunLoop.h"
#include "cli/StopSignal.h"
#include "common/SampleRates.h"
#include "link/Ad7172.h"
#include "messages/Mymessage.h"
#include "record/RecordingTexts.h"
#include "status/Mystatus.h"

CliRecording::CliRecording(const CliOptions& cliOptions, TmyMessage& messageCatalogue)
    : options(cliOptions), messages(messageCatalogue) {}

bool CliRecording::Run(FifoDriver& driver) {
    const StopSignal stopSignal;
    // Past a file size limit, or into a pipe whose reader has gone, a write then fails like a
    // full disk, instead of the signal ending the program with the board still streaming.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    TADC adc(driver);  // its reply waits sleep in poll() until the board answers
    Acquisition engine(adc);
    RecordingSession recorder(engine);
    const auto type =
        options.WritesHdf5() ? RecordingSession::FileType::Hdf5 : RecordingSession::FileType::Csv;
    if (!Started(recorder.Start(Request(), type, options.fCompress), recorder)) {
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

RecordingSession::Request CliRecording::Request() const {
    RecordingSession::Request request;
    request.fSinc5 = options.request.fSinc5;
    request.spsSel = options.request.spsSel;
    request.chSel = options.request.chSel;
    request.count = options.RecordSamples();
    request.path = options.output.toStdString();
    request.fOverwrite = options.fForce;
    if (options.timeoutSeconds) {
        request.noDataTimeout = std::chrono::duration_cast<Acquisition::Clock::duration>(
            std::chrono::duration<double>(*options.timeoutSeconds));
    }
    return request;
}

bool CliRecording::Started(Acquisition::StartResult result, const RecordingSession& recorder) {
    if (result != Acquisition::StartResult::Refused) {
        messages.StartFailed(result);
        return result == Acquisition::StartResult::Started;
    }
    if (recorder.Refused() == FileRefusal::Exists) {
        CliCommands::PrintError(CliCommands::ExistingFileText(options.output));
    } else {
        CliCommands::PrintError(QString::fromStdString(
            RecordingTexts::FileFailed(options.output.toStdString(), recorder.FileError())));
    }
    return false;
}

bool CliRecording::Ended(const RecordingSession& recorder) {
    const std::string fileName = options.output.toStdString();
    const AcquisitionOutcome outcome = recorder.Result();
    if (outcome == AcquisitionOutcome::Complete || outcome == AcquisitionOutcome::None) {
        return outcome == AcquisitionOutcome::Complete;
    }
    CliCommands::PrintRunEnd(messages, outcome);
    if (outcome == AcquisitionOutcome::WriteFailed) {
        CliCommands::PrintError(
            QString::fromStdString(RecordingTexts::FileFailed(fileName, recorder.FileError())));
    }
    CliCommands::PrintError(QString::fromStdString(RecordingTexts::Kept(fileName, written)));
    return outcome == AcquisitionOutcome::Stopped && written > 0;
}
