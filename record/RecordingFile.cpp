// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "FolderSync.h"

namespace {

// Pipes and character devices (--output /dev/stdout) cannot be synced; that is no failure.
bool SyncedOrUnsyncable(int fd) {
    return ::fdatasync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

}  // namespace

RecordingFile::RecordingFile() {
    buffer.reserve(kBufferSize);
}

RecordingFile::~RecordingFile() {
    Finish();
}

RecordingFile::CreateResult RecordingFile::Create(const std::string& path, bool fOverwrite,
                                                  Clock::time_point now) {
    Close();
    fFailed = false;
    written = 0;
    buffer.clear();
    const int mode = fOverwrite ? O_TRUNC : O_EXCL;
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | mode, 0666);
    if (fd < 0) {
        return errno == EEXIST ? CreateResult::Exists : CreateResult::Failed;
    }
    filePath = path;
    SyncFolderOf(path);
    lastFlush = lastSync = now;
    fUnsynced = false;
    return CreateResult::Ok;
}

void RecordingFile::Discard() {
    Close();
    if (!filePath.empty()) {
        ::unlink(filePath.c_str());
    }
}

bool RecordingFile::Append(std::string_view lines, Clock::time_point now) {
    if (fFailed || fd < 0) {
        return false;
    }
    if (buffer.size() + lines.size() > kBufferSize && !Flush(now)) {
        return false;
    }
    buffer.insert(buffer.end(), lines.begin(), lines.end());
    return true;
}

bool RecordingFile::Tick(Clock::time_point now) {
    if (fFailed || fd < 0) {
        return !fFailed;
    }
    if (!buffer.empty() && now - lastFlush >= kFlushInterval && !Flush(now)) {
        return false;
    }
    if (fUnsynced && now - lastSync >= kSyncInterval) {
        return Sync(now);
    }
    return true;
}

bool RecordingFile::Finish() {
    if (fd < 0) {
        return !fFailed;
    }
    const Clock::time_point now = Clock::now();
    const bool fDone = Flush(now) && Sync(now);
    Close();
    return fDone;
}

RecordingFile::Clock::time_point RecordingFile::NextDeadline() const {
    Clock::time_point deadline = Clock::time_point::max();
    if (fFailed || fd < 0) {
        return deadline;
    }
    if (!buffer.empty()) {
        deadline = lastFlush + kFlushInterval;
    }
    if (fUnsynced || !buffer.empty()) {
        deadline = std::min(deadline, lastSync + kSyncInterval);
    }
    return deadline;
}

bool RecordingFile::Flush(Clock::time_point now) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::write(fd, buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            CutToLastLine(done);
            return Fail();
        }
        done += static_cast<std::size_t>(n);
    }
    written += done;
    fUnsynced = fUnsynced || done > 0;
    buffer.clear();
    lastFlush = now;
    return true;
}

bool RecordingFile::Sync(Clock::time_point now) {
    if (!SyncedOrUnsyncable(fd)) {
        return Fail();
    }
    fUnsynced = false;
    lastSync = now;
    return true;
}

void RecordingFile::CutToLastLine(std::size_t done) {
    const auto sent = buffer.begin() + static_cast<std::ptrdiff_t>(done);
    const auto lineEnd = std::find(std::make_reverse_iterator(sent), buffer.rend(), '\n');
    const auto kept = static_cast<std::uint64_t>(std::distance(buffer.begin(), lineEnd.base()));
    // Where the file cannot be cut (a pipe), readers skip a last line without its line end.
    written += ::ftruncate(fd, static_cast<off_t>(written + kept)) == 0 ? kept : done;
}

bool RecordingFile::Fail() {
    fFailed = true;
    buffer.clear();
    SyncedOrUnsyncable(fd);
    Close();
    return false;
}

void RecordingFile::Close() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}
