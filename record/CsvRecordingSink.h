// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/Ad7172.h"
#include "measure/AcquisitionSink.h"
#include "record/FileRefusal.h"
#include "record/RecordingFile.h"
#include "record/RecordingFormat.h"
#include "record/RecordingIndex.h"

// A recording streamed into a CSV file as the acquisition engine hands its blocks on: the
// header once the first start command has gone out, one row per sample, a comment line at each
// further start command, and a last line that says when and how the recording ended and how
// many samples the file keeps. An existing file is refused (unless it may be replaced) before
// the board is contacted. Memory stays the same whatever the length: one block of rows and the
// file's fixed buffer, besides an index of where each stretch of samples starts in the file
// (8 bytes per 1024 samples), so old stretches can be read back from it.
// The file at each end (the word of its last line in brackets):
//   Complete (complete)          synced, complete
//   Stopped (stopped)            every sample received, synced
//   TimedOut (timeout)           complete up to there
//   ReadFailed (read-failed)     complete up to the last good record
//   WriteFailed (write-failed)   cut back to its last complete line; Kept() and FileError()
//                                say how many samples it keeps and why
// The rows are flushed and synced before the last line; a failure there is a failed write,
// never complete.
class CsvRecordingSink : public AcquisitionSink {
public:
    using NowFunction = std::function<Clock::time_point()>;

    struct Options {
        std::string path;
        bool fOverwrite = false;
    };
    using Refusal = FileRefusal;

    // `now` is the clock of the engine that drives the recording.
    explicit CsvRecordingSink(NowFunction nowFunction = Clock::now)
        : timeNow(std::move(nowFunction)) {}

    // The file of the next run.
    void Prepare(Options fileOptions);

    bool Check() override;
    bool Open(const AcquisitionInfo& run) override;
    void Discard() override;
    bool Begin(const AcquisitionInfo& run) override;
    bool Take(const SampleBlock& block) override;
    bool Restart(std::int64_t firstSample, std::chrono::system_clock::time_point time) override;
    bool Tick(Clock::time_point now) override { return file.Tick(now); }
    Clock::time_point NextDeadline() const override { return file.NextDeadline(); }
    bool End(AcquisitionOutcome outcome) override;

    Refusal Refused() const { return refusal; }
    std::int64_t Rows() const { return written; }
    // Once the recording has ended: the samples its file keeps (fewer than the rows when a
    // write failed).
    std::int64_t Kept() const { return kept; }
    // Why the file could not be made or written (an errno value); 0 while nothing failed.
    int FileError() const { return file.Error(); }
    std::uint64_t FileSize() const { return file.Size(); }
    // The codes of samples [first, last), read back from what of the file has been handed to
    // the system; false when they are not all there.
    bool ReadBack(std::int64_t first, std::int64_t last,
                  std::array<std::vector<std::int32_t>, 2>& codes) const {
        return index.Read(first, last, file.Flushed(), codes);
    }
    std::size_t IndexBytes() const { return index.Bytes(); }

private:
    NowFunction timeNow;
    Options options;
    Refusal refusal = Refusal::None;
    RecordingFile file;
    RecordingIndex index;
    std::int32_t gainFactor = 1;
    bool fCh0 = true;
    bool fCh1 = false;
    std::int64_t written = 0;
    std::int64_t kept = 0;
    std::array<char, TADC::kMaxBlockRecords * RecordingFormat::kMaxRowLength> rowText{};
};
