// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <hdf5.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Attributes of a recording's HDF5 file and its datasets: texts, whole numbers and doubles,
// written with the types h5py, MATLAB and the like read without help, and read back only
// when they have the expected class and a sane size.
namespace Hdf5Attributes {

// A UTF-8 text of any length (h5py gives a str).
bool WriteText(hid_t object, const char* name, std::string_view text);
// A text of at most `length` bytes, rewritten in place: the one kind of attribute a file
// being read while it grows may still change. Made when missing.
bool WriteFixedText(hid_t object, const char* name, std::size_t length, std::string_view text);
// `type` is the stored integer type (a standard little-endian one).
bool WriteInteger(hid_t object, const char* name, std::int64_t value, hid_t type);
bool WriteIntegers(hid_t object, const char* name, std::span<const int> values);
bool WriteDouble(hid_t object, const char* name, double value);

// Nothing when the attribute is missing or of another kind.
std::optional<std::string> ReadText(hid_t object, const char* name);
std::optional<std::int64_t> ReadInteger(hid_t object, const char* name);
std::optional<std::vector<std::int64_t>> ReadIntegers(hid_t object, const char* name);
std::optional<double> ReadDouble(hid_t object, const char* name);

}  // namespace Hdf5Attributes
