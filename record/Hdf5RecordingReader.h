// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/MeasureSettings.h"
#include "record/Hdf5Handle.h"
#include "record/RecordingDescription.h"
#include "record/RecordingReader.h"

// Reads a recording's HDF5 file (the layout of `Hdf5Layout.h`), also while another program
// writes it and after that program crashed: what it describes, its codes in stretches as the
// CSV reader hands them on, or any part of them by index. Everything is checked before it is
// believed (the format's name and version, the shape and type of /codes, the settings, the
// sizes of chunks, every code); anything else is no recording, with the reason in the
// operator's words. A record of the file met half-written is tried at most 24 times (about
// 20 ms in all; the library's 100 would keep a damaged file waiting for ages).
class Hdf5RecordingReader {
public:
    // Rows read from the file at once, handed on RecordingReader::kStretch at a time.
    static constexpr std::int64_t kReadRows =
        16 * static_cast<std::int64_t>(RecordingReader::kStretch);

    Hdf5RecordingReader();

    // The file begins with HDF5's signature (a regular file only).
    static bool IsHdf5(const std::string& path);
    // As RecordingReader::Read: the settings and channels, then every code in stretches;
    // false when the file is no such recording (`reason` says why) or the sink stopped it.
    static bool Read(const std::string& path, RecordingReader::Contents& contents,
                     const RecordingReader::Sink& sink, std::string* reason);

    // Opens and checks the file; false with the reason in Reason().
    bool Open(const std::string& path);
    const std::string& Reason() const { return reason; }
    const RecordingDescription& Description() const { return description; }
    const std::vector<int>& Channels() const { return channels; }
    // spsSel, fSinc5 and CHSel of the recording.
    MeasureSettings Settings() const;
    std::int64_t Rows() const { return rows; }
    // The codes of samples [first, last) per channel (a channel not recorded stays empty).
    bool ReadRows(std::int64_t first, std::int64_t last,
                  std::array<std::vector<std::int32_t>, 2>& codes);
    // Every code, RecordingReader::kStretch samples at a time; false as Read. How much of the
    // rows has been read goes to `fractionRead`, where given, before they are handed on.
    bool ReadAll(const RecordingReader::Sink& sink, double* fractionRead = nullptr);

private:
    bool CheckFormat();
    bool CheckCodes();
    // /codes stores as many rows as it claims, in chunks of a sane size.
    bool Plausible(hid_t type, hid_t space, hsize_t width);
    bool ReadSettings();
    bool ReadRestarts();
    bool ReadEnd();
    // Rows [first, first + count) as they are stored, channel by channel.
    bool ReadSlab(std::int64_t first, std::int64_t count, std::vector<std::int32_t>& values);
    bool Fail(std::string why);

    Hdf5Handle file;
    Hdf5Handle codes;
    std::string reason;
    RecordingDescription description;
    std::vector<int> channels;
    std::int64_t rows = 0;
};
