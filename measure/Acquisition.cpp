// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/Acquisition.h"

#include <algorithm>

namespace {

Acquisition::StartResult FromIdentify(BoardProtocol::IdentifyResult result) {
    switch (result) {
        case BoardProtocol::IdentifyResult::Ok:
            return Acquisition::StartResult::Started;
        case BoardProtocol::IdentifyResult::NotFound:
            return Acquisition::StartResult::NotFound;
        case BoardProtocol::IdentifyResult::NoResponse:
            return Acquisition::StartResult::NoResponse;
        case BoardProtocol::IdentifyResult::WrongName:
            return Acquisition::StartResult::WrongName;
    }
    return Acquisition::StartResult::NotFound;
}

}  // namespace

Acquisition::Acquisition(TADC& adc, NowFunction nowFunction)
    : board(adc), protocol(adc), now(std::move(nowFunction)) {}

Acquisition::StartResult Acquisition::Start(const RunRequest& request,
                                            std::vector<AcquisitionSink*> runSinks,
                                            Identification identification) {
    if (fBusy || fRunning) {
        return StartResult::Busy;
    }
    fBusy = true;
    sinks = std::move(runSinks);
    noDataTimeout = request.noDataTimeout;
    run = AcquisitionInfo{request.settings, request.count, run.boardName, run.boardVersion, {},
                          run.serial};
    pacing = {};
    outcome = Outcome::None;
    acquired = 0;
    StartResult result = StartResult::Started;
    if (!std::all_of(sinks.begin(), sinks.end(), [](AcquisitionSink* s) { return s->Check(); })) {
        result = StartResult::Refused;
    } else if (identification == Identification::Always || !fBoardReady) {
        result = IdentifyBoard();
    }
    if (result == StartResult::Started) {
        run.settings.GainFactor = board.GetGainFactor();
        result = OpenSinks();
    }
    if (result == StartResult::Started) {
        chainLeft = std::min(run.count, kMaxStartCount);
        if (!protocol.ConfigureAndStart(run.settings, static_cast<int>(chainLeft))) {
            for (AcquisitionSink* sink : sinks) {
                sink->Discard();
            }
            fBoardReady = false;
            result = StartResult::BoardError;
        }
    }
    if (result == StartResult::Started) {
        run.start = std::chrono::system_clock::now();
        lastRecord = now();
        fRunning = true;
        for (AcquisitionSink* sink : sinks) {
            if (!sink->Begin(run)) {
                End(Outcome::WriteFailed);
                break;
            }
        }
    }
    Leave();
    return result;
}

Acquisition::StartResult Acquisition::Identify() {
    if (fBusy || fRunning) {
        return StartResult::Busy;
    }
    fBusy = true;
    const StartResult result = IdentifyBoard();
    Leave();
    return result;
}

Acquisition::StartResult Acquisition::IdentifyBoard() {
    fBoardReady = false;
    const StartResult result = FromIdentify(protocol.Identify(run.boardName, run.boardVersion));
    fBoardReady = result == StartResult::Started;
    run.serial = fBoardReady ? board.SerialNumber() : std::string();
    return result;
}

Acquisition::StartResult Acquisition::OpenSinks() {
    for (auto opened = sinks.begin(); opened != sinks.end(); ++opened) {
        if (!(*opened)->Open(run)) {
            std::for_each(sinks.begin(), opened, [](AcquisitionSink* sink) { sink->Discard(); });
            return StartResult::Refused;
        }
    }
    return StartResult::Started;
}

void Acquisition::Wake() {
    if (fBusy || !fRunning) {
        return;
    }
    fBusy = true;
    const Clock::time_point t = now();
    const auto due =
        static_cast<std::size_t>(std::min<std::int64_t>(chainLeft, TADC::kMaxBlockRecords));
    const BoardProtocol::BlockRead block = protocol.ReadBlock(
        run.settings, std::span(ch0Codes).first(due), std::span(ch1Codes).first(due));
    // A malformed record still hands on the good records before it.
    if (block.got > 0 && !Deliver(block.got, t)) {
        End(Outcome::WriteFailed);
    } else if (!block.fRead) {
        End(Outcome::ReadFailed);
    } else if (block.got == 0 && noDataTimeout && t - lastRecord >= *noDataTimeout) {
        End(Outcome::TimedOut);
    } else if (chainLeft == 0 && acquired == run.count) {
        End(Outcome::Complete);
    } else if ((chainLeft > 0 || StartNextChain()) && !TickSinks(t)) {
        End(Outcome::WriteFailed);
    }
    Leave();
}

void Acquisition::Stop() {
    if (fBusy) {
        fStopAsked = true;  // done when the step that waits returns
        return;
    }
    if (fRunning) {
        End(Outcome::Stopped);
    }
}

BlockWait::Sleep Acquisition::NextWait() {
    BlockWait::Sleep sleep = protocol.NextLook(run.settings, static_cast<int>(chainLeft), pacing);
    const Clock::time_point deadline = NextDeadline();
    if (deadline != Clock::time_point::max()) {
        const auto untilDeadline = std::max(deadline - now(), Clock::duration::zero());
        sleep.duration = std::min<std::chrono::nanoseconds>(sleep.duration, untilDeadline);
    }
    return sleep;
}

Acquisition::Clock::time_point Acquisition::NextDeadline() const {
    Clock::time_point deadline = Clock::time_point::max();
    for (const AcquisitionSink* sink : sinks) {
        deadline = std::min(deadline, sink->NextDeadline());
    }
    if (fRunning && noDataTimeout) {
        deadline = std::min(deadline, lastRecord + *noDataTimeout);
    }
    return deadline;
}

bool Acquisition::Deliver(int got, Clock::time_point t) {
    const auto n = static_cast<std::size_t>(got);
    const SampleBlock block{
        acquired, run.Measures(0) ? std::span(ch0Codes).first(n) : std::span<std::int32_t>{},
        run.Measures(1) ? std::span(ch1Codes).first(n) : std::span<std::int32_t>{}, t};
    acquired += got;
    chainLeft -= got;
    lastRecord = t;
    return std::all_of(sinks.begin(), sinks.end(),
                       [&block](AcquisitionSink* sink) { return sink->Take(block); });
}

bool Acquisition::StartNextChain() {
    const std::int64_t count = std::min(run.count - acquired, kMaxStartCount);
    // Only the start command: filter and rate stay as the first one set them.
    if (!board.StartConversion(run.settings.CHSel, static_cast<int>(count))) {
        End(Outcome::ReadFailed);
        return false;
    }
    chainLeft = count;
    const auto time = std::chrono::system_clock::now();
    if (!std::all_of(sinks.begin(), sinks.end(), [this, time](AcquisitionSink* sink) {
            return sink->Restart(acquired, time);
        })) {
        End(Outcome::WriteFailed);
        return false;
    }
    return true;
}

bool Acquisition::TickSinks(Clock::time_point t) {
    return std::all_of(sinks.begin(), sinks.end(),
                       [t](AcquisitionSink* sink) { return sink->Tick(t); });
}

void Acquisition::End(Outcome reason) {
    fRunning = false;
    // An unplugged or failing device is let go, so that the next start opens and identifies the
    // board again (a re-plugged board is a new device); a malformed record keeps the board.
    const bool fDeviceFailed =
        reason == Outcome::ReadFailed && board.LastStatus() != FifoStatusCode::Ok;
    if (reason != Outcome::Complete) {
        board.StopConversion();
    }
    // The board is left for identification again after a stop, after silence and after a
    // failing device.
    if (reason == Outcome::Stopped || reason == Outcome::TimedOut || fDeviceFailed) {
        board.CloseBoard();
        fBoardReady = false;
    }
    outcome = reason;
    bool fKept = true;
    for (AcquisitionSink* sink : sinks) {
        fKept = sink->End(reason) && fKept;
    }
    if (!fKept) {
        outcome = Outcome::WriteFailed;
    }
}

void Acquisition::Leave() {
    fBusy = false;
    if (!fStopAsked) {
        return;
    }
    fStopAsked = false;
    if (fRunning) {
        End(Outcome::Stopped);
    } else {
        // The step ended the run while the stop was asked for: the board is stopped and
        // closed all the same, as the stop button says.
        board.StopConversion();
        board.CloseBoard();
        fBoardReady = false;
    }
}
