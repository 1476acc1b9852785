// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "common/Codes.h"
#include "common/PosixFile.h"
#include "record/RecordingFormat.h"

namespace {

constexpr std::size_t kReadSize = 64 * 1024;
// No line of such a table comes near this; a longer one means it is something else.
constexpr std::size_t kMaxLineLength = 4096;

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

class TableParser {
public:
    TableParser(RecordingReader::Contents& contents, const RecordingReader::Sink& rowSink)
        : out(contents), sink(rowSink) {}

    // Rows of known channels, numbered on from `number`, without a column line.
    void ExpectRows(const std::vector<int>& channels, std::int64_t number);
    // How far the reading has come, for the rows handed on from here.
    void NoteRead(double fraction) { out.fractionRead = fraction; }
    bool Line(std::string_view line);
    bool Finish() { return fColumns && Hand(); }

private:
    void Comment(std::string_view text);
    void NoteRate(std::string_view key, std::string_view value);
    bool Columns(std::string_view line);
    bool Row(std::string_view line);
    bool Hand();

    RecordingReader::Contents& out;
    const RecordingReader::Sink& sink;
    bool fColumns = false;
    std::optional<std::int64_t> nextNumber;
    std::array<std::vector<std::int32_t>, 2> codes;
};

void TableParser::ExpectRows(const std::vector<int>& channels, std::int64_t number) {
    out.channels = channels;
    fColumns = true;
    nextNumber = number;
}

bool TableParser::Line(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.starts_with('#')) {
        Comment(line.substr(1));
        return true;
    }
    if (line.empty()) {
        return true;
    }
    return fColumns ? Row(line) : Columns(line);
}

void TableParser::Comment(std::string_view text) {
    while (text.starts_with(' ')) {
        text.remove_prefix(1);
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return;
    }
    const std::string_view key = text.substr(0, colon);
    NoteRate(key, text.substr(colon + 1));
    int value = 0;
    if (!ParseNumber(text.substr(colon + 1), value)) {
        return;
    }
    if (key == RecordingFormat::kRateKey && value >= 0 && value < kRateCount) {
        out.settings.spsSel = value;
    } else if (key == RecordingFormat::kFilterKey && (value == 0 || value == 1)) {
        out.settings.fSinc5 = value == 1;
    }
}

void TableParser::NoteRate(std::string_view key, std::string_view value) {
    double rate = 0.0;
    int index = 0;
    if (key == RecordingFormat::kSampleRateKey && ParseNumber(value, rate) && rate > 0.0 &&
        std::isfinite(rate)) {
        out.sampleRate = rate;
    } else if (key == RecordingFormat::kRateKey && ParseNumber(value, index) && index >= 0 &&
               index < kRateCount) {
        out.fRateIndex = true;
    }
}

bool TableParser::Columns(std::string_view line) {
    for (int chSel = 0; chSel < kChannelChoiceCount; ++chSel) {
        const std::vector<int> channels = RecordingFormat::ChannelsOf(chSel);
        std::string expected = RecordingFormat::ColumnLine(channels);
        expected.pop_back();
        if (line == expected) {
            out.settings.CHSel = chSel;
            out.channels = channels;
            fColumns = true;
            codes[0].reserve(RecordingReader::kStretch);
            codes[1].reserve(RecordingReader::kStretch);
            return true;
        }
    }
    return false;
}

bool TableParser::Row(std::string_view line) {
    // The sample number, then the code and the microvolts of each channel.
    std::array<std::string_view, 5> fields;
    std::size_t n = 0;
    for (bool fMore = true; fMore; ++n) {
        if (n == fields.size()) {
            return false;
        }
        const std::size_t comma = line.find(',');
        fields[n] = line.substr(0, comma);
        fMore = comma != std::string_view::npos;
        line.remove_prefix(fMore ? comma + 1 : line.size());
    }
    std::int64_t sample = 0;
    if (n != 1 + 2 * out.channels.size() || !ParseNumber(fields[0], sample)) {
        return false;
    }
    if (nextNumber && sample != (*nextNumber)++) {
        return false;
    }
    for (std::size_t i = 0; i < out.channels.size(); ++i) {
        std::int32_t code = 0;
        if (!ParseNumber(fields[1 + 2 * i], code) || code < kMinScaleCode ||
            code > kFullScaleCode || fields[2 + 2 * i].empty()) {
            return false;
        }
        codes[static_cast<std::size_t>(out.channels[i])].push_back(code);
    }
    ++out.count;
    const auto first = static_cast<std::size_t>(out.channels.front());
    return codes[first].size() < RecordingReader::kStretch || Hand();
}

bool TableParser::Hand() {
    const bool fGo = sink(codes[0], codes[1]);
    codes[0].clear();
    codes[1].clear();
    return fGo;
}

}  // namespace

bool RecordingReader::IsTable(const std::string& path) {
    // A regular file only: a pipe or a device would lose its bytes to the reading, or keep it
    // waiting.
    const PosixFile file = PosixFile::OpenRegular(path);
    char start[7] = {};
    const std::size_t n = file.IsOpen() ? file.ReadAll(start).done : 0;
    const std::string_view text(start, n);
    return text.starts_with('#') || text.starts_with("sample,");
}

namespace {

// The bytes a reading from `offset` covers, up to `length` or the file's end: how far it has
// come is measured against them.
double BytesAhead(const PosixFile& file, std::uint64_t offset, std::uint64_t length) {
    struct stat status {};
    if (::fstat(file.Descriptor(), &status) != 0 ||
        static_cast<std::uint64_t>(status.st_size) <= offset) {
        return 0.0;
    }
    return static_cast<double>(
        std::min<std::uint64_t>(length, static_cast<std::uint64_t>(status.st_size) - offset));
}

// Hands the lines of the regular file at `path` from `offset` up to `length` bytes on to the
// parser; a last line without its line end is left out.
bool ParseLines(const std::string& path, std::uint64_t offset, std::uint64_t length,
                TableParser& parser) {
    const PosixFile file = PosixFile::OpenRegular(path);
    if (!file.IsOpen()) {
        return false;
    }
    const double size = BytesAhead(file, offset, length);
    const std::uint64_t start = offset;
    const auto buffer = std::make_unique<char[]>(kReadSize + kMaxLineLength);
    std::size_t held = 0;  // the start of an unfinished line
    bool fGood = true;
    while (fGood && length > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadSize, length));
        const auto [n, error] =
            file.ReadAllAt(std::span(buffer.get() + held, want), static_cast<off_t>(offset));
        if (error != 0 || n == 0) {
            fGood = error == 0;
            break;
        }
        offset += n;
        parser.NoteRead(size > 0.0 ? static_cast<double>(offset - start) / size : 1.0);
        // A read that comes back short has met the end of the file.
        length = n < want ? 0 : length - n;
        const std::string_view text(buffer.get(), held + n);
        std::size_t begin = 0;
        for (std::size_t lineEnd = text.find('\n'); fGood && lineEnd != std::string_view::npos;
             lineEnd = text.find('\n', begin)) {
            fGood = parser.Line(text.substr(begin, lineEnd - begin));
            begin = lineEnd + 1;
        }
        held = text.size() - begin;
        fGood = fGood && held <= kMaxLineLength;
        std::copy(text.begin() + static_cast<std::ptrdiff_t>(begin), text.end(), buffer.get());
    }
    return fGood;
}

}  // namespace

bool RecordingReader::Read(const std::string& path, Contents& contents, const Sink& sink) {
    contents = {};
    TableParser parser(contents, sink);
    return ParseLines(path, 0, std::numeric_limits<std::uint64_t>::max(), parser) &&
           parser.Finish();
}

bool RecordingReader::ReadRows(const std::string& path, const Rows& rows, const Sink& sink) {
    Contents contents;
    TableParser parser(contents, sink);
    parser.ExpectRows(rows.channels, rows.firstNumber);
    const std::uint64_t length = rows.end > rows.offset ? rows.end - rows.offset : 0;
    return ParseLines(path, rows.offset, length, parser) && parser.Finish();
}
