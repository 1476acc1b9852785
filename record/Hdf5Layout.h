// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// The names and shapes of a recording's HDF5 file, which the writer and the reader share:
//   file attributes   format = "selkoran-recording", format_version = 1, program_version,
//                     board, board_version, serial; end and outcome (empty until the
//                     recording ends, fixed-length texts so they can be set while the file
//                     is read)
//   /codes            int32, (samples, channels), chunked and extendible; attributes
//                     channels, sample_rate, spsSel, fSinc5, CHSel, count (asked for), start,
//                     microvolts_per_code and zero_code:
//                     microvolts = (code - zero_code) * microvolts_per_code
//   /restarts         one row per further start command: sample (its first, from 0) and
//                     time_ns (since the epoch), both int64
namespace Hdf5Layout {

inline constexpr const char* kFormat = "selkoran-recording";
inline constexpr std::int64_t kFormatVersion = 1;

inline constexpr const char* kFormatKey = "format";
inline constexpr const char* kFormatVersionKey = "format_version";
inline constexpr const char* kProgramVersionKey = "program_version";
inline constexpr const char* kBoardKey = "board";
inline constexpr const char* kBoardVersionKey = "board_version";
inline constexpr const char* kSerialKey = "serial";
inline constexpr const char* kEndKey = "end";
inline constexpr const char* kOutcomeKey = "outcome";

inline constexpr const char* kCodes = "codes";
inline constexpr const char* kChannelsKey = "channels";
inline constexpr const char* kSampleRateKey = "sample_rate";
inline constexpr const char* kRateKey = "spsSel";
inline constexpr const char* kFilterKey = "fSinc5";
inline constexpr const char* kChannelKey = "CHSel";
inline constexpr const char* kCountKey = "count";
inline constexpr const char* kStartKey = "start";
inline constexpr const char* kMicrovoltsPerCodeKey = "microvolts_per_code";
inline constexpr const char* kZeroCodeKey = "zero_code";

inline constexpr const char* kRestarts = "restarts";
inline constexpr const char* kRestartSample = "sample";
inline constexpr const char* kRestartTime = "time_ns";

// Room of the texts set at the end: an ISO time with milliseconds, the longest outcome word.
inline constexpr std::size_t kEndLength = 24;
inline constexpr std::size_t kOutcomeLength = 12;

// Samples per chunk of /codes (32 KiB a channel): a second at the top rate, few enough chunks
// for 10^7 samples, and what a close look reads back at most.
inline constexpr std::int64_t kChunkRows = 8192;
inline constexpr std::int64_t kRestartChunkRows = 64;
inline constexpr unsigned kGzipLevel = 4;

}  // namespace Hdf5Layout
