// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RunningSumFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

constexpr std::size_t kBufferedSums = 8192;

std::string TemporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// A file without a name (O_TMPFILE), or where the file system cannot make one, a named file
// removed at once.
int OpenNamelessFile() {
    const std::string folder = TemporaryFolder();
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    std::string name = folder + "/selkoran-sums-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) {
        ::unlink(name.c_str());
    }
    return named;
}

// pwrite and pread move whole buffers or fail.
template <typename Byte, typename Transfer>
bool TransferAll(Transfer transfer, int fd, Byte* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = transfer(fd, data, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

bool WriteAll(int fd, const char* data, std::size_t size, off_t offset) {
    return TransferAll(::pwrite, fd, data, size, offset);
}

bool ReadAll(int fd, char* data, std::size_t size, off_t offset) {
    return TransferAll(::pread, fd, data, size, offset);
}

constexpr off_t OffsetOf(std::int64_t index) {
    return static_cast<off_t>(index * static_cast<std::int64_t>(sizeof(std::int64_t)));
}

}  // namespace

RunningSumFile::RunningSumFile() {
    buffer.reserve(kBufferedSums);
}

RunningSumFile::~RunningSumFile() {
    if (fd >= 0) {
        ::close(fd);
    }
}

bool RunningSumFile::Open() {
    fd = OpenNamelessFile();
    buffer.assign(1, 0);  // C[0]
    return fd >= 0;
}

bool RunningSumFile::Append(std::span<const std::int32_t> codes) {
    if (count == 0 && !codes.empty()) {
        firstCode = codes.front();
    }
    for (const std::int32_t code : codes) {
        runningSum += std::int64_t{code} - firstCode;
        buffer.push_back(runningSum);
        ++count;
        if (buffer.size() == kBufferedSums && !WriteBuffer()) {
            return false;
        }
    }
    return true;
}

bool RunningSumFile::Finish() {
    return WriteBuffer();
}

bool RunningSumFile::WriteBuffer() {
    // The buffer holds C[count + 1 − size] .. C[count].
    const std::int64_t first = count + 1 - static_cast<std::int64_t>(buffer.size());
    const bool fWritten =
        fd >= 0 && WriteAll(fd, reinterpret_cast<const char*>(buffer.data()),
                            buffer.size() * sizeof(std::int64_t), OffsetOf(first));
    buffer.clear();
    return fWritten;
}

bool RunningSumFile::ReadSums(std::int64_t first, std::span<std::int64_t> out) const {
    return fd >= 0 &&
           ReadAll(fd, reinterpret_cast<char*>(out.data()), out.size_bytes(), OffsetOf(first));
}

bool RunningSumFile::ReadCodes(std::int64_t first, std::span<std::int32_t> out) {
    scratch.resize(out.size() + 1);
    if (!ReadSums(first, scratch)) {
        return false;
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::int32_t>(scratch[i + 1] - scratch[i] + firstCode);
    }
    return true;
}
