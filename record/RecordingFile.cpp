// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

// Pipes and character devices (--output /dev/stdout) cannot be synced; that is no failure.
bool IsUnsyncable(int error) {
    return error == EINVAL || error == EROFS;
}

// The file cut to `size` bytes, its next write going there (not past the end, leaving a hole);
// false where it cannot be cut (a pipe).
bool CutTo(const PosixFile& file, std::uint64_t size) {
    return ::ftruncate(file.Descriptor(), static_cast<off_t>(size)) == 0 &&
           ::lseek(file.Descriptor(), static_cast<off_t>(size), SEEK_SET) >= 0;
}

// Rows among whole lines: those that begin with their sample number.
std::int64_t RowsIn(std::string_view lines) {
    std::int64_t rows = 0;
    bool fLineStart = true;
    for (const char c : lines) {
        rows += fLineStart && c >= '0' && c <= '9';
        fLineStart = c == '\n';
    }
    return rows;
}

}  // namespace

RecordingFile::RecordingFile() {
    buffer.reserve(kBufferSize);
}

RecordingFile::~RecordingFile() {
    Finish();
}

FileRefusal RecordingFile::Create(const std::string& path, bool fOverwrite, Clock::time_point now) {
    file.Close();
    fFailed = false;
    error = 0;
    rowsDropped = 0;
    fPartLineAtEnd = false;
    written = 0;
    buffer.clear();
    const int mode = fOverwrite ? O_TRUNC : O_EXCL;
    file = PosixFile::Open(path, O_WRONLY | O_CREAT | mode);
    if (!file.IsOpen()) {
        error = file.Error();
        return error == EEXIST ? FileRefusal::Exists : FileRefusal::Failed;
    }
    Opened(path, now);
    return FileRefusal::None;
}

bool RecordingFile::Continue(const std::string& path, Clock::time_point now) {
    file.Close();
    fFailed = false;
    buffer.clear();
    PosixFile opened = PosixFile::Open(path, O_WRONLY | O_CREAT | O_APPEND);
    struct stat status {};
    if (!opened.IsOpen() || ::fstat(opened.Descriptor(), &status) != 0) {
        return false;
    }
    file = std::move(opened);
    // A failed write cuts the file back from here, never into what was there before.
    written = static_cast<std::uint64_t>(status.st_size);
    Opened(path, now);
    return true;
}

void RecordingFile::Opened(const std::string& path, Clock::time_point now) {
    filePath = path;
    PosixFile::SyncFolderOf(path);
    lastSync = now;
    fUnsynced = false;
}

void RecordingFile::Discard() {
    file.Close();
    if (!filePath.empty()) {
        ::unlink(filePath.c_str());
    }
}

bool RecordingFile::Append(std::string_view lines, Clock::time_point now) {
    if (fFailed || !file.IsOpen()) {
        return false;
    }
    if (buffer.size() + lines.size() > kBufferSize && !Flush()) {
        return false;
    }
    if (buffer.empty()) {
        oldestBuffered = now;
    }
    buffer.insert(buffer.end(), lines.begin(), lines.end());
    return true;
}

bool RecordingFile::Tick(Clock::time_point now) {
    if (fFailed || !file.IsOpen()) {
        return !fFailed;
    }
    // A wake that comes anyway takes rows half a second old along, so a slow recording's
    // flushes ride on its samples' wakes; the deadline keeps every row within the second.
    if (!buffer.empty() && now - oldestBuffered >= kFlushInterval / 2 && !Flush()) {
        return false;
    }
    if (fUnsynced && now - lastSync >= kSyncInterval) {
        return Sync(now);
    }
    return true;
}

bool RecordingFile::Settle(Clock::time_point now) {
    if (fFailed || !file.IsOpen()) {
        return !fFailed;
    }
    return Flush() && Sync(now);
}

bool RecordingFile::Finish(std::string_view lastLine) {
    if (!file.IsOpen()) {
        return !fFailed;
    }
    const Clock::time_point now = Clock::now();
    const bool fFlushed = !fFailed && Flush();
    const std::uint64_t before = written;
    // After part of a line that could not be cut away, a last line would spoil the rows.
    const bool fLine = lastLine.empty() || (!fPartLineAtEnd && WriteWhole(lastLine));
    // A last line that may not have reached the disk must not vouch for rows that may not have.
    if (!Sync(now) && written > before && CutTo(file, before)) {
        written = before;
    }
    file.Close();
    return fFlushed && fLine && !fFailed;
}

RecordingFile::Clock::time_point RecordingFile::NextDeadline() const {
    Clock::time_point deadline = Clock::time_point::max();
    if (fFailed || !file.IsOpen()) {
        return deadline;
    }
    if (!buffer.empty()) {
        deadline = oldestBuffered + kFlushInterval;
    }
    if (fUnsynced || !buffer.empty()) {
        deadline = std::min(deadline, lastSync + kSyncInterval);
    }
    return deadline;
}

bool RecordingFile::Flush() {
    const auto [done, failure] = file.WriteAll(std::string_view(buffer.data(), buffer.size()));
    if (failure != 0) {
        CutToLastLine(done);
        return Fail(failure);
    }
    written += done;
    fUnsynced = fUnsynced || done > 0;
    buffer.clear();
    return true;
}

bool RecordingFile::Sync(Clock::time_point now) {
    const int failure = file.SyncData();
    if (failure != 0 && !IsUnsyncable(failure)) {
        return Fail(failure);
    }
    fUnsynced = false;
    lastSync = now;
    return true;
}

bool RecordingFile::WriteWhole(std::string_view line) {
    const auto [done, failure] = file.WriteAll(line);
    if (failure != 0) {
        if (done > 0 && !CutTo(file, written)) {
            written += done;
            fPartLineAtEnd = true;
        }
        return Fail(failure);
    }
    written += done;
    return true;
}

void RecordingFile::CutToLastLine(std::size_t done) {
    const auto sent = buffer.begin() + static_cast<std::ptrdiff_t>(done);
    const auto lineEnd = std::find(std::make_reverse_iterator(sent), buffer.rend(), '\n');
    const auto kept = static_cast<std::size_t>(std::distance(buffer.begin(), lineEnd.base()));
    rowsDropped += RowsIn(std::string_view(buffer.data() + kept, buffer.size() - kept));
    // Where the file cannot be cut (a pipe), readers skip a last line without its line end.
    const bool fCut = CutTo(file, written + kept);
    written += fCut ? kept : done;
    fPartLineAtEnd = !fCut && done > kept;
}

bool RecordingFile::Fail(int errorNumber) {
    if (!fFailed) {
        error = errorNumber;
    }
    fFailed = true;
    buffer.clear();
    return false;
}
