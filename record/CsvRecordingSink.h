// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "link/Ad7172.h"
#include "record/RecordingFile.h"
#include "record/RecordingFormat.h"
#include "record/RecordingIndex.h"
#include "record/RecordingSink.h"

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
class CsvRecordingSink : public RecordingSink {
public:
    // `now` is the clock of the engine that drives the recording.
    explicit CsvRecordingSink(Options fileOptions, NowFunction nowFunction = Clock::now)
        : RecordingSink(std::move(fileOptions), std::move(nowFunction)) {}

    bool Check() override;
    bool Open(const AcquisitionInfo& run) override;
    void Discard() override;
    bool Begin(const AcquisitionInfo& run) override;
    bool Take(const SampleBlock& block) override;
    bool Restart(std::int64_t firstSample, std::chrono::system_clock::time_point time) override;
    bool Tick(Clock::time_point now) override { return file.Tick(now); }
    Clock::time_point NextDeadline() const override { return file.NextDeadline(); }
    bool End(AcquisitionOutcome outcome) override;

    std::int64_t Rows() const override { return written; }
    std::int64_t Kept() const override { return kept; }
    int FileError() const override { return file.Error(); }
    std::uint64_t FileSize() const override { return file.Size(); }
    // From what of the file has been handed to the system.
    bool ReadBack(std::int64_t first, std::int64_t last,
                  std::array<std::vector<std::int32_t>, 2>& codes) const override {
        return index.Read(first, last, file.Flushed(), codes);
    }
    std::size_t IndexBytes() const override { return index.Bytes(); }

private:
    RecordingFile file;
    RecordingIndex index;
    std::int32_t gainFactor = 1;
    bool fCh0 = true;
    bool fCh1 = false;
    std::int64_t written = 0;
    std::int64_t kept = 0;
    std::array<char, TADC::kMaxBlockRecords * RecordingFormat::kMaxRowLength> rowText{};
};
