// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/PosixFile.h"

// One channel's codes kept on disk as their running sums, in a temporary file that has no
// name and vanishes when closed: C[0] = 0, C[i + 1] = C[i] + code[i] − code[0]. The Allan
// deviation pairs samples half a recording apart, so a long recording's figures read them
// back from here instead of holding them.
class RunningSumFile {
public:
    RunningSumFile();

    // In $TMPDIR, else /tmp; false when no such file can be made.
    bool Open();
    bool Append(std::span<const std::int32_t> codes);
    // Writes what is still buffered; reads come after it.
    bool Finish();

    std::int64_t Count() const { return count; }
    // C[first] .. C[first + out.size() − 1].
    bool ReadSums(std::int64_t first, std::span<std::int64_t> out) const;
    // code[first] .. code[first + out.size() − 1].
    bool ReadCodes(std::int64_t first, std::span<std::int32_t> out);

private:
    bool WriteBuffer();

    PosixFile file;
    std::int32_t firstCode = 0;
    std::int64_t count = 0;
    std::int64_t runningSum = 0;
    std::vector<std::int64_t> buffer;  // sums not yet written
    std::vector<std::int64_t> scratch;
};
