// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What a recording file says about itself before its rows: the board, the settings, the
// count asked for and when the first start command went out.
struct RecordingHeader {
    std::string boardName;
    std::string boardVersion;
    int spsSel = 3;
    int chSel = 0;
    bool fSinc5 = true;
    std::int64_t count = 0;
    std::chrono::system_clock::time_point start;
};

// The CSV table of samples that `measure --csv` and recordings share: a column line, then
// per sample its number (from 1) and, per channel, the code and the microvolts (the shortest
// text that reads back as the stored float, "." as the decimal point). A recording puts
// comment lines starting with "#" before the table and at each new start command, so a
// reader that skips "#" lines reads a plain CSV. Its last line says how it ended; a file
// without that line was cut short (a crash, a power cut).
namespace RecordingFormat {

// One channel's value in a row.
struct Cell {
    std::int32_t code;
    float microvolts;
};

// Room one row needs at most, line end included.
inline constexpr std::size_t kMaxRowLength = 128;

// Keys of the comment lines ("# key:value"); the settings keys are the data file's.
inline constexpr std::string_view kBoardKey = "board";
inline constexpr std::string_view kRateKey = "spsSel";
inline constexpr std::string_view kChannelKey = "CHSel";
inline constexpr std::string_view kFilterKey = "fSinc5";
inline constexpr std::string_view kSampleRateKey = "sampleRate";
inline constexpr std::string_view kCountKey = "count";
inline constexpr std::string_view kStartKey = "start";
inline constexpr std::string_view kRestartKey = "restart";
inline constexpr std::string_view kSampleKey = "sample";
inline constexpr std::string_view kEndKey = "end";
inline constexpr std::string_view kSamplesKey = "samples";
inline constexpr std::string_view kOutcomeKey = "outcome";

// The channels a channel selection (0, 1, 2 = both) records.
std::vector<int> ChannelsOf(int chSel);
// "sample,ch0_code,ch0_microvolts,..." and its line end.
std::string ColumnLine(std::span<const int> channels);
// The comment lines of the header, then the column line; without a board name or a start
// time their lines are left out.
std::string HeaderText(const RecordingHeader& header);
// The comment lines of the header alone (board, settings, count, start).
std::string CommentText(const RecordingHeader& header);
// One row at `dst` (room for kMaxRowLength); returns the end of what was written.
char* AppendRow(char* dst, std::int64_t sample, std::span<const Cell> cells);
// The comment line of a new start command whose first sample is `sample`.
std::string RestartLine(std::chrono::system_clock::time_point time, std::int64_t sample);
// The last line: "# end:TIME samples:N outcome:OUTCOME", N the rows the file holds.
std::string EndLine(std::chrono::system_clock::time_point time, std::int64_t samples,
                    std::string_view outcome);
// ISO 8601 in UTC with milliseconds: "2025-01-31T23:59:59.123Z".
std::string IsoTime(std::chrono::system_clock::time_point time);
// The shortest decimal text that reads back as the same float, fixed notation with a ".".
std::string FloatText(float value);

}  // namespace RecordingFormat
