// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Where each stretch of kStride samples starts in a recording's file, noted as its rows are
// written, so that a short stretch no longer held in memory can be read back from the file.
// Memory: 8 bytes per kStride samples (1/512 of one channel's codes).
class RecordingIndex {
public:
    static constexpr std::int64_t kStride = 1024;

    // A new recording into `path` with these channels; nothing noted yet.
    void Begin(std::string path, std::vector<int> channels);
    // Sample `sample` (from 0) begins at byte `offset`; only samples at a multiple of kStride
    // are kept, and each once, in order.
    void Note(std::int64_t sample, std::uint64_t offset);
    // The codes of samples [first, last) from the file's first `readable` bytes (what has been
    // handed to the system), per channel (a channel not recorded stays empty). False when
    // they are not all there, the file cannot be read or its rows are not the ones noted.
    bool Read(std::int64_t first, std::int64_t last, std::uint64_t readable,
              std::array<std::vector<std::int32_t>, 2>& codes) const;
    std::size_t Bytes() const { return offsets.capacity() * sizeof(std::uint64_t); }

private:
    std::string filePath;
    std::vector<int> fileChannels;
    std::vector<std::uint64_t> offsets;  // of samples 0, kStride, 2 kStride, ...
};
