// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/MeasureSettings.h"

// Reads a recording (or the table of `measure --csv`) a stretch of rows at a time, so a file
// of any length needs the same memory. The comment lines give the rate and the filter (the
// start-up settings where they are missing), the column line the channels; the codes are
// taken, the microvolts follow from them. A last line without its line end was being written
// when the recording stopped and is left out. Only a regular file is read (a link to one is
// fine): a pipe or a device is no recording, refused before anything is read.
class RecordingReader {
public:
    // Rows handed on at a time.
    static constexpr std::size_t kStretch = 4096;

    struct Contents {
        MeasureSettings settings;   // spsSel and fSinc5 from the file, CHSel from its columns
        std::vector<int> channels;  // in column order
        std::int64_t count = 0;     // rows
        // What the comment lines say of the rate: its index (spsSel, with fSinc5), or the
        // figure (sampleRate). A table without either does not know its rate.
        bool fRateIndex = false;
        std::optional<double> sampleRate;
        // How much of the file, from 0 to 1, the reading has reached when rows are handed on.
        double fractionRead = 0.0;
        // The rows the file says it holds before they are read (HDF5); 0 where it does not.
        std::int64_t rowsAhead = 0;
    };
    // The codes of consecutive rows; a channel the file lacks has an empty span. False stops
    // the reading.
    using Sink =
        std::function<bool(std::span<const std::int32_t> ch0, std::span<const std::int32_t> ch1)>;

    // The file begins as such a table does: with "#" or with its column line.
    static bool IsTable(const std::string& path);
    // False when the file cannot be read, is no such table (no column line, a row that does
    // not fit the columns, a code outside 0..16777215), or the sink stopped it.
    static bool Read(const std::string& path, Contents& contents, const Sink& sink);

    // Part of a recording's rows: from the start of a row at byte `offset` up to byte `end`,
    // with the channels its column line names; each row must carry the next number from
    // `firstNumber` on. Comment lines between the rows are skipped.
    struct Rows {
        std::uint64_t offset = 0;
        std::uint64_t end = 0;
        std::vector<int> channels;
        std::int64_t firstNumber = 1;
    };
    // False as Read is, and when a row's number is not the one expected.
    static bool ReadRows(const std::string& path, const Rows& rows, const Sink& sink);
};
