// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliRecording.h"

#include <csignal>

#include "cli/CliCommands.h"
#include "cli/ProgressBar.h"
#include "cli/StopSignal.h"
#include "common/SampleRates.h"
#include "link/Ad7172.h"
#include "link/ReadyWait.h"
#include "messages/Mymessage.h"
#include "record/RecordingTexts.h"
#include "status/Mystatus.h"

namespace {

const QString kDeviceName = QStringLiteral("SELKORAN Board");

}  // namespace

CliRecording::CliRecording(const CliOptions& cliOptions, TmyMessage& messageCatalogue)
    : options(cliOptions), messages(messageCatalogue) {}

bool CliRecording::Run(FifoDriver& driver) {
    const StopSignal stopSignal;
    // Past a file size limit, or into a pipe whose reader has gone, a write then fails like a
    // full disk, instead of the signal ending the program with the board still streaming.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    TADC adc(driver);  // its reply waits sleep in poll() until the board answers
    RecordingSession recorder(adc);
    const auto type =
        options.WritesHdf5() ? RecordingSession::FileType::Hdf5 : RecordingSession::FileType::Csv;
    if (!Started(recorder.Start(Request(), type, options.fCompress), recorder)) {
        return false;
    }
    header = recorder.Header();
    ProgressBar progress(ProgressBar::Mode::BarOrLines,
                         SampleRates::SamplesPerSecond(header.spsSel, header.fSinc5));
    Drive(recorder, progress);
    progress.Finish();
    written = recorder.Kept();
    return Ended(recorder);
}

Recorder::Request CliRecording::Request() const {
    Recorder::Request request;
    request.fSinc5 = options.request.fSinc5;
    request.spsSel = options.request.spsSel;
    request.chSel = options.request.chSel;
    request.count = options.RecordSamples();
    request.path = options.output.toStdString();
    request.fOverwrite = options.fForce;
    if (options.timeoutSeconds) {
        request.noDataTimeout = std::chrono::duration_cast<Recorder::Clock::duration>(
            std::chrono::duration<double>(*options.timeoutSeconds));
    }
    return request;
}

bool CliRecording::Started(Recorder::StartResult result, const RecordingSession& recorder) {
    switch (result) {
        case Recorder::StartResult::Started:
            return true;
        case Recorder::StartResult::FileExists:
            CliCommands::PrintError(CliCommands::ExistingFileText(options.output));
            return false;
        case Recorder::StartResult::FileFailed:
            CliCommands::PrintError(QString::fromStdString(
                RecordingTexts::FileFailed(options.output.toStdString(), recorder.FileError())));
            return false;
        case Recorder::StartResult::NotFound:
        case Recorder::StartResult::WrongName:
            messages.BoardNotFound();
            return false;
        case Recorder::StartResult::NoResponse:
            messages.BoardNoResponse();
            return false;
        case Recorder::StartResult::BoardError:
            CliCommands::PrintError(TmyStatus::BoardErrorText(kDeviceName));
            return false;
    }
    return false;
}

void CliRecording::Drive(RecordingSession& recorder, ProgressBar& progress) {
    while (recorder.Recording()) {
        if (StopSignal::Requested()) {
            recorder.Stop();
            break;
        }
        recorder.Wake();
        progress.Show(recorder.Written(), recorder.Total());
        if (recorder.Recording()) {
            const BlockWait::Sleep next = recorder.NextWait();
            ReadyWait::Sleep({next.fd, StopSignal::Descriptor()}, next.duration);
        }
    }
}

bool CliRecording::Ended(const RecordingSession& recorder) {
    const std::string fileName = options.output.toStdString();
    switch (recorder.Result()) {
        case Recorder::Outcome::Complete:
            return true;
        case Recorder::Outcome::Stopped:
            CliCommands::PrintError(TmyStatus::StoppedText());
            break;
        case Recorder::Outcome::TimedOut:
            messages.BoardNoResponse();
            break;
        case Recorder::Outcome::ReadFailed:
            CliCommands::PrintError(TmyStatus::MeasureErrorText());
            break;
        case Recorder::Outcome::WriteFailed:
            CliCommands::PrintError(
                QString::fromStdString(RecordingTexts::FileFailed(fileName, recorder.FileError())));
            break;
        case Recorder::Outcome::None:
            return false;
    }
    CliCommands::PrintError(QString::fromStdString(RecordingTexts::Kept(fileName, written)));
    return recorder.Result() == Recorder::Outcome::Stopped && written > 0;
}
