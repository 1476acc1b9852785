// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

// Repeats `step` (given how much is done, it moves the rest and says how much went) until
// `size` bytes went, an error stops it, or a step moves nothing: for a read the end of the
// file, for a write `zeroError`.
template <typename Step>
PosixFile::Transfer TransferAll(std::size_t size, int zeroError, Step step) {
    PosixFile::Transfer transfer;
    while (transfer.done < size) {
        const ssize_t n = step(transfer.done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            transfer.error = n < 0 ? errno : zeroError;
            break;
        }
        transfer.done += static_cast<std::size_t>(n);
    }
    return transfer;
}

// 0 when a look (stat's result `looked`, and `status`) found a regular file, else why not.
int RegularOrWhyNot(int looked, const struct stat& status) {
    if (looked != 0) {
        return errno;
    }
    if (S_ISREG(status.st_mode)) {
        return 0;
    }
    return S_ISDIR(status.st_mode) ? EISDIR : PosixFile::kNotRegular;
}

}  // namespace

PosixFile::PosixFile(int descriptor) : fd(descriptor), error(descriptor < 0 ? errno : 0) {}

PosixFile::~PosixFile() {
    Close();
}

PosixFile::PosixFile(PosixFile&& other) noexcept
    : fd(std::exchange(other.fd, -1)), error(other.error) {}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd = std::exchange(other.fd, -1);
        error = other.error;
    }
    return *this;
}

PosixFile PosixFile::Open(const std::string& path, int flags, mode_t mode) {
    return PosixFile(::open(path.c_str(), flags | O_CLOEXEC, mode));
}

PosixFile PosixFile::OpenRegular(const std::string& path) {
    struct stat status {};
    PosixFile file;
    file.error = RegularOrWhyNot(::stat(path.c_str(), &status), status);
    if (file.error != 0) {
        return file;
    }
    file = Open(path, O_RDONLY | O_NONBLOCK);
    if (file.IsOpen()) {
        file.error = RegularOrWhyNot(::fstat(file.fd, &status), status);
    }
    if (file.error != 0) {
        file.Close();
    }
    return file;
}

std::string PosixFile::FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

void PosixFile::SyncFolderOf(const std::string& path) {
    const PosixFile folder = Open(FolderOf(path), O_RDONLY | O_DIRECTORY);
    if (folder.IsOpen()) {
        folder.Sync();
    }
}

int PosixFile::Release() {
    return std::exchange(fd, -1);
}

int PosixFile::Close() {
    if (fd < 0) {
        return 0;
    }
    const int result = ::close(std::exchange(fd, -1));
    return result == 0 ? 0 : errno;
}

PosixFile::Transfer PosixFile::WriteAll(std::string_view bytes) const {
    return TransferAll(bytes.size(), ENOSPC, [&](std::size_t done) {
        return ::write(fd, bytes.data() + done, bytes.size() - done);
    });
}

PosixFile::Transfer PosixFile::WriteAllAt(std::string_view bytes, off_t offset) const {
    return TransferAll(bytes.size(), ENOSPC, [&](std::size_t done) {
        return ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                        offset + static_cast<off_t>(done));
    });
}

PosixFile::Transfer PosixFile::ReadAll(std::span<char> bytes) const {
    return TransferAll(bytes.size(), 0, [&](std::size_t done) {
        return ::read(fd, bytes.data() + done, bytes.size() - done);
    });
}

PosixFile::Transfer PosixFile::ReadAllAt(std::span<char> bytes, off_t offset) const {
    return TransferAll(bytes.size(), 0, [&](std::size_t done) {
        return ::pread(fd, bytes.data() + done, bytes.size() - done,
                       offset + static_cast<off_t>(done));
    });
}

int PosixFile::SyncData() const {
    return ::fdatasync(fd) == 0 ? 0 : errno;
}

int PosixFile::Sync() const {
    return ::fsync(fd) == 0 ? 0 : errno;
}
