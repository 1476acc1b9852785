// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Recorder.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string_view>

#include "common/Codes.h"
#include "common/SampleRates.h"

namespace {

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() !=
           std::filesystem::file_type::not_found;
}

Recorder::StartResult FromIdentify(BoardSession::IdentifyResult result) {
    switch (result) {
        case BoardSession::IdentifyResult::Ok:
            return Recorder::StartResult::Started;
        case BoardSession::IdentifyResult::NotFound:
            return Recorder::StartResult::NotFound;
        case BoardSession::IdentifyResult::NoResponse:
            return Recorder::StartResult::NoResponse;
        case BoardSession::IdentifyResult::WrongName:
            return Recorder::StartResult::WrongName;
    }
    return Recorder::StartResult::NotFound;
}

// The word of the file's last line for an outcome.
std::string_view OutcomeName(Recorder::Outcome outcome) {
    switch (outcome) {
        case Recorder::Outcome::Complete:
            return "complete";
        case Recorder::Outcome::Stopped:
            return "stopped";
        case Recorder::Outcome::TimedOut:
            return "timeout";
        case Recorder::Outcome::ReadFailed:
            return "read-failed";
        case Recorder::Outcome::WriteFailed:
        case Recorder::Outcome::None:
            break;
    }
    return "write-failed";
}

}  // namespace

Recorder::Recorder(TADC& adc, NowFunction nowFunction)
    : board(adc), session(adc), now(std::move(nowFunction)) {}

std::int64_t Recorder::SamplesIn(std::chrono::duration<double> duration, int spsSel, bool fSinc5) {
    // The small allowance keeps 90 s at 1.25 per second from coming out one short.
    const double samples = duration.count() * SampleRates::SamplesPerSecond(spsSel, fSinc5);
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::floor(samples + 1e-6)));
}

Recorder::StartResult Recorder::Start(const Request& recording) {
    request = recording;
    pacing = {};
    fRecording = false;
    outcome = Outcome::None;
    written = 0;
    kept = 0;
    index.Begin(request.path, RecordingFormat::ChannelsOf(request.chSel));
    if (!request.fOverwrite && Exists(request.path)) {
        return StartResult::FileExists;
    }
    header = {};
    const StartResult identified =
        FromIdentify(session.Identify(header.boardName, header.boardVersion));
    if (identified != StartResult::Started) {
        return identified;
    }
    switch (file.Create(request.path, request.fOverwrite, now())) {
        case RecordingFile::CreateResult::Ok:
            break;
        case RecordingFile::CreateResult::Exists:
            return StartResult::FileExists;
        case RecordingFile::CreateResult::Failed:
            return StartResult::FileFailed;
    }
    chainLeft = std::min(request.count, kMaxStartCount);
    if (!session.ConfigureAndStart(
            {request.fSinc5, request.spsSel, request.chSel, static_cast<int>(chainLeft)})) {
        file.Discard();
        return StartResult::BoardError;
    }
    header.spsSel = request.spsSel;
    header.chSel = request.chSel;
    header.fSinc5 = request.fSinc5;
    header.count = request.count;
    header.start = std::chrono::system_clock::now();
    lastRecord = now();
    fRecording = true;
    if (!file.Append(RecordingFormat::HeaderText(header), lastRecord)) {
        End(Outcome::WriteFailed);
    }
    return StartResult::Started;
}

void Recorder::Wake() {
    if (!fRecording) {
        return;
    }
    const Clock::time_point t = now();
    int got = 0;
    const bool fRead = session.ReadBlock(request.chSel, request.spsSel, ch0Codes.data(),
                                         ch1Codes.data(), 0, &got, static_cast<int>(chainLeft));
    // A malformed record still leaves the good records before it in the file.
    if (got > 0 && !Store(got, t)) {
        End(Outcome::WriteFailed);
        return;
    }
    if (!fRead) {
        End(Outcome::ReadFailed);
        return;
    }
    if (got == 0 && request.noDataTimeout && t - lastRecord >= *request.noDataTimeout) {
        End(Outcome::TimedOut);
        return;
    }
    if (chainLeft == 0) {
        if (written == request.count) {
            End(Outcome::Complete);
            return;
        }
        if (!StartNextChain(t)) {
            return;
        }
    }
    if (!file.Tick(t)) {
        End(Outcome::WriteFailed);
    }
}

void Recorder::Stop() {
    if (fRecording) {
        End(Outcome::Stopped);
    }
}

BlockWait::Sleep Recorder::NextWait() {
    const BoardSession::RunRequest chain{request.fSinc5, request.spsSel, request.chSel,
                                         static_cast<int>(chainLeft)};
    BlockWait::Sleep sleep = session.NextLook(chain, pacing);
    const Clock::time_point deadline = NextDeadline();
    if (deadline != Clock::time_point::max()) {
        const auto untilDeadline = std::max(deadline - now(), Clock::duration::zero());
        sleep.duration = std::min<std::chrono::nanoseconds>(sleep.duration, untilDeadline);
    }
    return sleep;
}

Recorder::Clock::time_point Recorder::NextDeadline() const {
    Clock::time_point deadline = file.NextDeadline();
    if (fRecording && request.noDataTimeout) {
        deadline = std::min(deadline, lastRecord + *request.noDataTimeout);
    }
    return deadline;
}

bool Recorder::Store(int got, Clock::time_point t) {
    const bool fCh0 = request.chSel != 1;
    const bool fCh1 = request.chSel != 0;
    const auto cellOf = [this](std::int32_t code) {
        return RecordingFormat::Cell{
            code, static_cast<float>(CodeToMicrovolts(code, board.GetGainFactor()))};
    };
    char* end = rowText.data();
    for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) {
        const std::int64_t sample = written + static_cast<std::int64_t>(i);
        if (sample % RecordingIndex::kStride == 0) {
            index.Note(sample, file.Size() + static_cast<std::uint64_t>(end - rowText.data()));
        }
        RecordingFormat::Cell cells[2];
        std::size_t n = 0;
        if (fCh0) {
            cells[n++] = cellOf(ch0Codes[i]);
        }
        if (fCh1) {
            cells[n++] = cellOf(ch1Codes[i]);
        }
        end = RecordingFormat::AppendRow(end, sample + 1, std::span(cells, n));
    }
    const auto length = static_cast<std::size_t>(end - rowText.data());
    if (!file.Append(std::string_view(rowText.data(), length), t)) {
        return false;
    }
    const auto n = static_cast<std::size_t>(got);
    const Block block{written, fCh0 ? std::span(ch0Codes).first(n) : std::span<std::int32_t>{},
                      fCh1 ? std::span(ch1Codes).first(n) : std::span<std::int32_t>{}};
    written += got;
    chainLeft -= got;
    lastRecord = t;
    if (blockObserver) {
        blockObserver(block);
    }
    return true;
}

bool Recorder::StartNextChain(Clock::time_point t) {
    const std::int64_t count = std::min(request.count - written, kMaxStartCount);
    // Only the start command: filter and rate stay as the first chain set them.
    if (!board.StartConversion(request.chSel, static_cast<int>(count))) {
        End(Outcome::ReadFailed);
        return false;
    }
    chainLeft = count;
    if (!file.Append(RecordingFormat::RestartLine(std::chrono::system_clock::now(), written + 1),
                     t)) {
        End(Outcome::WriteFailed);
        return false;
    }
    return true;
}

void Recorder::End(Outcome reason) {
    fRecording = false;
    if (reason != Outcome::Complete) {
        board.StopConversion();
    }
    // The board is left for identification again after an operator stop and after silence.
    if (reason == Outcome::Stopped || reason == Outcome::TimedOut) {
        board.CloseBoard();
    }
    // The rows first, so that the last line can say how many the file keeps.
    outcome = file.Settle(now()) ? reason : Outcome::WriteFailed;
    kept = written - file.RowsDropped();
    const std::string endLine =
        RecordingFormat::EndLine(std::chrono::system_clock::now(), kept, OutcomeName(outcome));
    if (!file.Finish(endLine)) {
        outcome = Outcome::WriteFailed;
    }
}
