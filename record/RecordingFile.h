// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/PosixFile.h"
#include "record/FileRefusal.h"

// The recording's file on disk, written under its final name as it grows, so it can be
// watched while it does (tail -f); its folder is synced when it is made, so the name survives a
// crash. Text goes through one fixed buffer: it reaches the file at least once a second (rows
// half a second old ride along with any wake, so a slow recording flushes at its samples'
// wakes), and the disk (fdatasync) at least every ten seconds and at the end, so a crash or a
// pulled plug costs at most the last seconds. After a failed write the file is cut back to its
// last complete line, so what was written before stays readable, and the rows it dropped are
// counted. The last line (the recording's end) goes in whole or not at all, and is synced
// itself; it is taken back if that sync fails, so it never vouches for rows that may be lost.
class RecordingFile {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kBufferSize = 64 * 1024;
    static constexpr Clock::duration kFlushInterval = std::chrono::seconds(1);
    static constexpr Clock::duration kSyncInterval = std::chrono::seconds(10);

    RecordingFile();
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    // A new file; an existing one is replaced only when `fOverwrite` is set. None when made.
    FileRefusal Create(const std::string& path, bool fOverwrite, Clock::time_point now);
    // An existing file continued at its end (made when missing); false when it cannot be
    // opened. The caller has made sure it ends with a whole line.
    bool Continue(const std::string& path, Clock::time_point now);
    // Removes the file just created, before anything was written to it.
    void Discard();
    // Whole lines; false once a write has failed.
    bool Append(std::string_view lines, Clock::time_point now);
    // Writes and syncs what is due by `now`; false once a write has failed.
    bool Tick(Clock::time_point now);
    // Hands everything appended to the system now; false once a write has failed.
    bool Flush();
    // Everything written and synced now; false once a write has failed.
    bool Settle(Clock::time_point now);
    // Everything written, then `lastLine` whole or not at all (also after a failed write, as
    // far as room allows), synced, the file closed; false when anything of it failed.
    bool Finish(std::string_view lastLine = {});
    // When Tick has something to do; Clock::time_point::max() when nothing waits.
    Clock::time_point NextDeadline() const;

    bool IsOpen() const { return file.IsOpen(); }
    bool Failed() const { return fFailed; }
    // Why the file could not be made or written (an errno value); 0 while nothing failed.
    int Error() const { return error; }
    // Rows (lines that begin with their sample number) given to Append that a failed write
    // left out of the file.
    std::int64_t RowsDropped() const { return rowsDropped; }
    // Bytes in the file and in the buffer.
    std::uint64_t Size() const { return written + buffer.size(); }
    // Bytes handed to the system: what a reader of the file finds there.
    std::uint64_t Flushed() const { return written; }

private:
    void Opened(const std::string& path, Clock::time_point now);
    bool Sync(Clock::time_point now);
    // Writes `line` at the end of the file, or leaves the file as it was.
    bool WriteWhole(std::string_view line);
    // Cuts the file back to its last complete line after `done` bytes of the buffer went out.
    void CutToLastLine(std::size_t done);
    // Notes the failure `errorNumber`; the file stays open for its last line.
    bool Fail(int errorNumber);

    PosixFile file;
    std::string filePath;
    std::vector<char> buffer;
    std::uint64_t written = 0;  // bytes in the file
    bool fUnsynced = false;
    bool fFailed = false;
    bool fPartLineAtEnd = false;  // a failed write left part of a line that could not be cut
    int error = 0;
    std::int64_t rowsDropped = 0;
    Clock::time_point oldestBuffered{};  // when the first line now in the buffer came
    Clock::time_point lastSync{};
};
