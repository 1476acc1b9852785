// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "measure/AcquisitionSink.h"

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
// text that reads back as the code rule's double, "." as the decimal point). A recording puts
// comment lines starting with "#" before the table and at each new start command, so a
// reader that skips "#" lines reads a plain CSV. Its last line says how it ended; a file
// without that line was cut short (a crash, a power cut), and every reader takes both:
//   # board:SELKORAN / 1.10
//   # spsSel:16
//   # CHSel:2
//   # fSinc5:1
//   # sampleRate:31250
//   # count:2097150
//   # start:2025-03-01T08:00:00.000Z
//   sample,ch0_code,ch0_microvolts,ch1_code,ch1_microvolts
//   1,8388621,3.874302372253224,12582914,1250000.7450581484
//   ...
//   1048575,8388610,0.5960465188081883,12582904,1249997.7648255546
//   # restart:2025-03-01T08:00:33.628Z sample:1048576
//   1048576,8388623,4.470348891061413,12582917,1250001.6391279267
//   ...
//   # end:2025-03-01T08:01:07.112Z samples:2097150 outcome:complete
// The tables of `measure --csv` and `show --csv` start with the same header; one made from a
// data file has no board and no start time, and leaves their lines out.
namespace RecordingFormat {

// One channel's value in a row.
struct Cell {
    std::int32_t code;
    double microvolts;
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

// The header of a run as its sinks learn it; a run without end counts 0.
RecordingHeader HeaderOf(const AcquisitionInfo& run);
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

}  // namespace RecordingFormat
