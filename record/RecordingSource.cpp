// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingSource.h"

#include "record/Hdf5RecordingReader.h"

namespace RecordingSource {

bool IsHdf5(const std::string& path) {
    return Hdf5RecordingReader::IsHdf5(path);
}

bool IsRecording(const std::string& path) {
    return IsHdf5(path) || RecordingReader::IsTable(path);
}

bool Read(const std::string& path, RecordingReader::Contents& contents,
          const RecordingReader::Sink& sink, std::string* reason) {
    if (IsHdf5(path)) {
        return Hdf5RecordingReader::Read(path, contents, sink, reason);
    }
    return RecordingReader::Read(path, contents, sink);
}

}  // namespace RecordingSource
