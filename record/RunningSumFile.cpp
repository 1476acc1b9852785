// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RunningSumFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kBufferedSums = 8192;

std::string TemporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// A file without a name (O_TMPFILE), or where the file system cannot make one, a named file
// removed at once.
PosixFile OpenNamelessFile() {
    const std::string folder = TemporaryFolder();
    PosixFile file = PosixFile::Open(folder, O_TMPFILE | O_RDWR, 0600);
    if (file.IsOpen()) {
        return file;
    }
    std::string name = folder + "/selkoran-sums-XXXXXX";
    file = PosixFile(::mkostemp(name.data(), O_CLOEXEC));
    if (file.IsOpen()) {
        ::unlink(name.c_str());
    }
    return file;
}

constexpr off_t OffsetOf(std::int64_t index) {
    return static_cast<off_t>(index * static_cast<std::int64_t>(sizeof(std::int64_t)));
}

}  // namespace

RunningSumFile::RunningSumFile() {
    buffer.reserve(kBufferedSums);
}

bool RunningSumFile::Open() {
    file = OpenNamelessFile();
    buffer.assign(1, 0);  // C[0]
    return file.IsOpen();
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
    const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()),
                                 buffer.size() * sizeof(std::int64_t));
    // A write moves the whole buffer or fails.
    const bool fWritten =
        file.IsOpen() && file.WriteAllAt(bytes, OffsetOf(first)).done == bytes.size();
    buffer.clear();
    return fWritten;
}

bool RunningSumFile::ReadSums(std::int64_t first, std::span<std::int64_t> out) const {
    const std::span<char> bytes(reinterpret_cast<char*>(out.data()), out.size_bytes());
    // A read that meets the end of the file fails as well.
    return file.IsOpen() && file.ReadAllAt(bytes, OffsetOf(first)).done == bytes.size();
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
