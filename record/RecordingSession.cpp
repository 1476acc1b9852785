// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingSession.h"

#include <algorithm>
#include <cctype>

namespace {

Recorder::StartResult FromEngine(Acquisition::StartResult result, Hdf5RecordingSink::Refusal why) {
    switch (result) {
        case Acquisition::StartResult::Started:
            return Recorder::StartResult::Started;
        case Acquisition::StartResult::Refused:
            return why == Hdf5RecordingSink::Refusal::Exists ? Recorder::StartResult::FileExists
                                                             : Recorder::StartResult::FileFailed;
        case Acquisition::StartResult::NotFound:
            return Recorder::StartResult::NotFound;
        case Acquisition::StartResult::NoResponse:
            return Recorder::StartResult::NoResponse;
        case Acquisition::StartResult::WrongName:
            return Recorder::StartResult::WrongName;
        case Acquisition::StartResult::BoardError:
        case Acquisition::StartResult::Busy:
            return Recorder::StartResult::BoardError;
    }
    return Recorder::StartResult::BoardError;
}

Recorder::Outcome FromEngine(AcquisitionOutcome outcome) {
    switch (outcome) {
        case AcquisitionOutcome::None:
            return Recorder::Outcome::None;
        case AcquisitionOutcome::Complete:
            return Recorder::Outcome::Complete;
        case AcquisitionOutcome::Stopped:
            return Recorder::Outcome::Stopped;
        case AcquisitionOutcome::TimedOut:
            return Recorder::Outcome::TimedOut;
        case AcquisitionOutcome::ReadFailed:
            return Recorder::Outcome::ReadFailed;
        case AcquisitionOutcome::WriteFailed:
            return Recorder::Outcome::WriteFailed;
    }
    return Recorder::Outcome::None;
}

}  // namespace

RecordingSession::FileType RecordingSession::TypeOf(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.ends_with(".h5") || lower.ends_with(".hdf5") ? FileType::Hdf5 : FileType::Csv;
}

RecordingSession::RecordingSession(TADC& adc, NowFunction now)
    : recorder(adc, now), engine(adc, now), hdf5(now) {
    engine.Attach(hdf5);
    engine.Attach(observing);
}

void RecordingSession::SetBlockObserver(Recorder::BlockObserver blockObserver) {
    observing.observer = blockObserver;
    recorder.SetBlockObserver(std::move(blockObserver));
}

Recorder::StartResult RecordingSession::Start(const Recorder::Request& request, FileType fileType,
                                              bool fCompress) {
    type = fileType;
    if (!Hdf5()) {
        return recorder.Start(request);
    }
    hdf5.Prepare({request.path, request.fOverwrite, fCompress});
    Acquisition::Request run;
    run.settings.fSinc5 = request.fSinc5;
    run.settings.spsSel = request.spsSel;
    run.settings.CHSel = request.chSel;
    run.count = request.count;
    run.noDataTimeout = request.noDataTimeout;
    run.fIdentify = true;  // a recording always meets the board afresh
    return FromEngine(engine.Start(run), hdf5.Refused());
}

void RecordingSession::Wake() {
    Hdf5() ? engine.Wake() : recorder.Wake();
}

void RecordingSession::Stop() {
    Hdf5() ? engine.Stop() : recorder.Stop();
}

bool RecordingSession::Recording() const {
    return Hdf5() ? engine.Running() : recorder.Recording();
}

Recorder::Outcome RecordingSession::Result() const {
    return Hdf5() ? FromEngine(engine.Result()) : recorder.Result();
}

BlockWait::Sleep RecordingSession::NextWait() {
    return Hdf5() ? engine.NextWait() : recorder.NextWait();
}

RecordingSession::Clock::time_point RecordingSession::NextDeadline() const {
    return Hdf5() ? engine.NextDeadline() : recorder.NextDeadline();
}

std::int64_t RecordingSession::Written() const {
    return Hdf5() ? hdf5.Rows() : recorder.Written();
}

std::int64_t RecordingSession::Kept() const {
    return Hdf5() ? hdf5.Kept() : recorder.Kept();
}

int RecordingSession::FileError() const {
    return Hdf5() ? hdf5.FileError() : recorder.FileError();
}

std::int64_t RecordingSession::Total() const {
    return Hdf5() ? engine.Total() : recorder.Total();
}

std::uint64_t RecordingSession::FileSize() const {
    return Hdf5() ? hdf5.FileSize() : recorder.FileSize();
}

RecordingHeader RecordingSession::Header() const {
    if (!Hdf5()) {
        return recorder.Header();
    }
    const AcquisitionInfo& run = engine.Info();
    return {run.boardName,      run.boardVersion,    run.settings.spsSel,
            run.settings.CHSel, run.settings.fSinc5, run.count,
            run.start};
}

bool RecordingSession::ReadBack(std::int64_t first, std::int64_t last,
                                std::array<std::vector<std::int32_t>, 2>& codes) const {
    return Hdf5() ? hdf5.ReadBack(first, last, codes) : recorder.ReadBack(first, last, codes);
}

bool RecordingSession::ObserverSink::Take(const SampleBlock& block) {
    if (observer) {
        observer({block.firstSample, block.ch0, block.ch1});
    }
    return true;
}
