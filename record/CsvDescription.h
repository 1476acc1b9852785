// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "record/RecordingDescription.h"

// The comment lines of a CSV recording read as its description: the header lines that
// `record` writes before the column line, a "# restart:TIME sample:N" line before the first
// row of each further start command (N from 1), and the last line
// "# end:TIME samples:N outcome:WORD" of a recording that ended. Rows are passed over.
namespace CsvDescription {

struct Notes {
    RecordingDescription description;
    std::int64_t endSamples = 0;  // the samples the end line counts
};

// False with the reason when a header line is missing or a comment line of these keys is
// not as written.
bool Read(const std::string& path, Notes& notes, std::string* reason);

}  // namespace CsvDescription
