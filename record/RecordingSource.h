// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "record/RecordingReader.h"

// A recording's file of either type, told apart by its first bytes: an HDF5 file, or the CSV
// table of `record` and `measure --csv`. The analysis reads both through here, so their
// figures come from one code path.
namespace RecordingSource {

bool IsHdf5(const std::string& path);
// A CSV table or an HDF5 file (a ".DTA" data file is neither).
bool IsRecording(const std::string& path);
// As RecordingReader::Read for either type; an HDF5 file that is no recording says why in
// `reason` (a CSV table leaves it empty).
bool Read(const std::string& path, RecordingReader::Contents& contents,
          const RecordingReader::Sink& sink, std::string* reason);

}  // namespace RecordingSource
