// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "record/Hdf5Handle.h"
#include "record/RecordingDescription.h"
#include "record/RecordingSink.h"

// A recording written into an HDF5 file (the layout of `Hdf5Layout.h`) as the acquisition
// engine hands its blocks on. The file is made before the board is configured and is read by
// other programs while it grows (HDF5's single-writer/multiple-reader mode): every sample
// taken reaches the file and the disk (fdatasync) at least once a second, so a crash or a
// pulled plug loses at most that second, and what is there always opens (h5py: swmr=True)
// holding every sample of its last flush. A flush rides on the last wake that comes anyway
// before the second is up, so a slow recording wakes only for its samples. Codes wait in one
// chunk's worth of memory (8192 samples) between writes; memory stays the same however long
// the recording.
// The disk space the next writes need is reserved ahead of them (1 MiB past the file's end),
// so a disk that fills up, or a file size limit, stops the recording while there is still
// room to write what waits and close the file properly: it keeps every sample taken, and its
// end says write-failed.
class Hdf5RecordingSink : public RecordingSink {
public:
    static constexpr Clock::duration kFlushInterval = std::chrono::seconds(1);

    explicit Hdf5RecordingSink(Options fileOptions, NowFunction nowFunction = Clock::now);
    ~Hdf5RecordingSink() override;
    Hdf5RecordingSink(const Hdf5RecordingSink&) = delete;
    Hdf5RecordingSink& operator=(const Hdf5RecordingSink&) = delete;

    bool Check() override;
    bool Open(const AcquisitionInfo& run) override;
    void Discard() override;
    bool Begin(const AcquisitionInfo& run) override;
    bool Take(const SampleBlock& block) override;
    bool Restart(std::int64_t firstSample, std::chrono::system_clock::time_point time) override;
    bool Tick(Clock::time_point now) override;
    Clock::time_point NextDeadline() const override;
    bool End(AcquisitionOutcome outcome) override;
    // Everything written, the end (when there is one) noted, the file closed and synced; false
    // when that failed. A converted recording keeps its own end, or has none.
    bool Close(const std::optional<RecordingDescription::End>& end);

    std::int64_t Rows() const override { return written + PendingRows(); }
    std::int64_t Kept() const override { return kept; }
    int FileError() const override { return fileError; }
    std::uint64_t FileSize() const override;
    bool ReadBack(std::int64_t first, std::int64_t last,
                  std::array<std::vector<std::int32_t>, 2>& codes) const override;

private:
    bool MakeCodes(const AcquisitionInfo& run);
    bool MakeRestarts();
    bool WriteHeader(const AcquisitionInfo& run);
    std::int64_t PendingRows() const;
    // Writes the first `rows` waiting rows into /codes.
    bool WriteRows(std::int64_t rows);
    bool WriteRestarts();
    bool Flush();
    // Samples or restarts not yet flushed.
    bool Waiting() const;
    bool Sync();
    // Room for the next writes and the close, reserved on the disk; false once there is none.
    bool MakeRoom();
    int Descriptor() const;
    // The library failed: what it holds may never reach the file.
    bool Break();
    // The recording cannot go on, for `error` (an errno value).
    bool Fail(int error);

    Hdf5Handle file;
    Hdf5Handle codes;
    Hdf5Handle restarts;
    std::vector<int> channels;
    std::vector<std::int32_t> pending;  // rows not yet written, channel by channel
    std::int64_t written = 0;           // rows in /codes
    std::int64_t flushed = 0;           // rows of the last good flush
    std::int64_t kept = 0;              // rows in the closed file
    int fileError = 0;
    std::vector<RecordingDescription::Restart> restartRows;
    std::size_t restartsWritten = 0;
    Clock::time_point oldestWaiting{};  // when the oldest of what waits came
    Clock::time_point lastTick{};
    std::int64_t reservedTo = 0;  // the disk holds blocks for the file up to here
    bool fFailed = false;         // the recording cannot go on
    bool fBroken = false;         // and a write of the library failed
};
