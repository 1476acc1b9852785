// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "link/Ad7172.h"
#include "measure/BlockWait.h"
#include "measure/BoardSession.h"
#include "record/RecordingFile.h"
#include "record/RecordingFormat.h"
#include "record/RecordingIndex.h"

// A long recording streamed to a CSV file, one step at a time, so that any event loop can
// drive it: Start identifies and configures the board as a measurement does and sends the
// first start command; every Wake makes one block read and appends its rows; NextWait says
// how long the loop may sleep before the next Wake and on which descriptor the driver
// announces data sooner; Stop is the stop button. Above one start command's 1,048,575 samples the
// recording chains start commands, each marked in the file by a comment line. Memory stays the same
// whatever the length: one block of codes and the file's fixed buffer, besides an index of
// where each stretch of samples starts in the file that grows by 8 bytes per 1024 samples.
class Recorder {
public:
    using Clock = std::chrono::steady_clock;
    using NowFunction = std::function<Clock::time_point()>;

    // The most samples one start command asks for (its five hexadecimal count digits).
    static constexpr std::int64_t kMaxStartCount = 0xFFFFF;

    struct Request {
        bool fSinc5 = true;
        int spsSel = 3;
        int chSel = 0;
        std::int64_t count = 1;  // at least 1
        std::string path;
        bool fOverwrite = false;
        // No record for this long ends the recording; none: wait as long as it takes.
        std::optional<Clock::duration> noDataTimeout;
    };

    enum class StartResult {
        Started,
        FileExists,
        FileFailed,
        NotFound,
        NoResponse,
        WrongName,
        BoardError
    };
    enum class Outcome { None, Complete, Stopped, TimedOut, ReadFailed, WriteFailed };

    // The samples of one block as they arrive; a channel not recorded has an empty span.
    struct Block {
        std::int64_t firstSample;  // from 0
        std::span<const std::int32_t> ch0;
        std::span<const std::int32_t> ch1;
    };
    using BlockObserver = std::function<void(const Block&)>;

    explicit Recorder(TADC& adc, NowFunction now = Clock::now);

    // Samples that `duration` gives at a rate (whole samples, at least 1).
    static std::int64_t SamplesIn(std::chrono::duration<double> duration, int spsSel, bool fSinc5);

    // Sees each block's samples after they are in the file; nothing is kept for it.
    void SetBlockObserver(BlockObserver observer) { blockObserver = std::move(observer); }

    // An existing file is refused (without fOverwrite) before the board is contacted; then
    // identification, the file, configuration and the first start command. Anything but
    // Started leaves no file behind that this call created.
    StartResult Start(const Request& recording);
    // One block read and its rows; the file's flushes and syncs as they fall due. Ends the
    // recording when the count is in, a read fails, the file cannot be written, or no record
    // came for the time-out.
    void Wake();
    // The stop button: "AX", the board closed, the file complete. Every end writes the file's
    // last line, which says how it ended.
    void Stop();

    bool Recording() const { return fRecording; }
    Outcome Result() const { return outcome; }
    // After a Wake: how long to sleep before the next one, at most until NextDeadline; a
    // readable descriptor (the driver's announcement of data) ends the sleep sooner.
    BlockWait::Sleep NextWait();
    // When Wake has to run at the latest even without data (file durability, time-out).
    Clock::time_point NextDeadline() const;

    std::int64_t Written() const { return written; }
    // Once the recording has ended: the samples its file keeps (fewer than written when a
    // write failed).
    std::int64_t Kept() const { return kept; }
    // Why the file could not be made or written (an errno value); 0 while nothing failed.
    int FileError() const { return file.Error(); }
    std::int64_t Total() const { return request.count; }
    std::uint64_t FileSize() const { return file.Size(); }
    const RecordingHeader& Header() const { return header; }
    // The codes of samples [first, last) of this recording, read back from what of its file
    // has been handed to the system; false when they are not all there.
    bool ReadBack(std::int64_t first, std::int64_t last,
                  std::array<std::vector<std::int32_t>, 2>& codes) const {
        return index.Read(first, last, file.Flushed(), codes);
    }
    std::size_t IndexBytes() const { return index.Bytes(); }

private:
    // Appends `got` samples of the block buffers; false when the file failed.
    bool Store(int got, Clock::time_point t);
    bool StartNextChain(Clock::time_point t);
    void End(Outcome reason);

    TADC& board;
    BoardSession session;
    NowFunction now;
    BlockObserver blockObserver;
    Request request;
    RecordingHeader header;
    RecordingFile file;
    RecordingIndex index;
    bool fRecording = false;
    Outcome outcome = Outcome::None;
    std::int64_t written = 0;
    std::int64_t kept = 0;
    std::int64_t chainLeft = 0;  // samples the current start command still owes
    Clock::time_point lastRecord{};
    BlockWait pacing;  // what the last look found of the next block
    std::array<std::int32_t, TADC::kMaxBlockRecords> ch0Codes{};
    std::array<std::int32_t, TADC::kMaxBlockRecords> ch1Codes{};
    std::array<char, TADC::kMaxBlockRecords * RecordingFormat::kMaxRowLength> rowText{};
};
