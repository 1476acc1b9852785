// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <hdf5.h>

#include <cstdint>

#include "record/Hdf5Handle.h"

// The datasets of a recording's HDF5 file, shared by its writer and its reader: extendible and
// chunked, grown by appended rows, read a stretch of rows at a time.
namespace Hdf5Datasets {

// One row of /restarts in memory.
struct RestartRow {
    std::int64_t sample;
    std::int64_t timeNs;
};

// The type of a RestartRow whose members are of `memberType` (as stored, or the native type).
Hdf5Handle RestartType(hid_t memberType);
// An extendible, chunked dataset of `columns` columns (none: one dimension).
Hdf5Handle MakeExtendible(hid_t file, const char* name, hid_t type, hsize_t columns,
                          hsize_t chunkRows, bool fCompress);
// Appends `rows` rows of `memType` to an extendible dataset that holds `at` rows.
bool Append(hid_t dataset, hid_t memType, std::int64_t at, std::int64_t rows, hsize_t columns,
            const void* values);
// Rows [first, first + count) of a dataset of `width` columns as int32, row by row, into
// `values` (count * width of them).
bool ReadRows(hid_t dataset, std::int64_t first, std::int64_t count, hsize_t width,
              std::int32_t* values);

}  // namespace Hdf5Datasets
