// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

// A file descriptor that closes itself, with the few things every file of the program needs:
// a regular file opened for reading without waiting on a pipe or a device, everything written
// or read in one call, and the syncs that make data and names last a crash. A descriptor that
// could not be opened keeps why. The programs' own data, recording and scratch files go
// through it; sockets, terminals and wake-up pipes keep their own calls.
class PosixFile {
public:
    // Why a regular file was refused when something else stands under its name (a pipe, a
    // device, a socket); a folder is refused with EISDIR.
    static constexpr int kNotRegular = -1;

    // How much of a transfer went through, and why not the rest: an errno value, ENOSPC for a
    // write that took nothing; 0 when all did, or when a read met the end of the file.
    struct Transfer {
        std::size_t done = 0;
        int error = 0;
    };

    PosixFile() = default;
    // Takes `descriptor` over; a negative one means the call that gave it failed with errno.
    explicit PosixFile(int descriptor);
    ~PosixFile();
    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&& other) noexcept;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    // `path` opened with `flags` (never inherited by a child program).
    static PosixFile Open(const std::string& path, int flags, mode_t mode = 0666);
    // A regular file (a link to one is fine) opened for reading. A pipe, a device or a folder
    // is refused before it is opened, so it is never waited on nor disturbed; the second look,
    // at what was opened, covers a file swapped in between.
    static PosixFile OpenRegular(const std::string& path);
    // The folder that holds `path`, as written in it ("." for a bare name).
    static std::string FolderOf(const std::string& path);
    // A new or renamed file's name lasts a crash only once its folder is synced too. A file
    // system that cannot sync a folder does not undo what was written.
    static void SyncFolderOf(const std::string& path);

    bool IsOpen() const { return fd >= 0; }
    int Descriptor() const { return fd; }
    // Why the file could not be opened: an errno value or kNotRegular; 0 for an open file.
    int Error() const { return error; }
    // The descriptor handed to another owner (a stdio stream).
    int Release();
    // Closes the file now: 0, or why the close failed (the last chance to hear of a lost write).
    int Close();

    // Everything written at the file's position, or at `offset`, retrying where a signal
    // interrupted.
    Transfer WriteAll(std::string_view bytes) const;
    Transfer WriteAllAt(std::string_view bytes, off_t offset) const;
    // Reads until `bytes` is full or the file ends.
    Transfer ReadAll(std::span<char> bytes) const;
    Transfer ReadAllAt(std::span<char> bytes, off_t offset) const;
    // The file's data and size on disk (fdatasync), or with all its metadata too (fsync):
    // 0, or why not.
    int SyncData() const;
    int Sync() const;

private:
    int fd = -1;
    int error = 0;
};
