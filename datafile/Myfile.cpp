// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/Myfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>

#include "common/PosixFile.h"
#include "datafile/FileReplacement.h"

namespace {

constexpr std::string_view kIdentification = "AD7172_DataFile:";
constexpr std::string_view kSettingsStart = "M:";
constexpr std::string_view kSettingsEnd = "MEND:";
constexpr std::string_view kDataStart = "D:";
constexpr std::string_view kDataEnd = "DEND:";

constexpr int kLineBufferSize = 256;  // one read takes at most 255 bytes
constexpr int kMarkerSearchLines = 10;
constexpr int kSettingsLineLimit = 20;
constexpr int kFirstSettingsEndLine = 6;  // an earlier "MEND:" does not end the section

struct IntegerKey {
    std::string_view key;
    std::int32_t MeasureSettings::*field;
};
struct FlagKey {
    std::string_view key;
    bool MeasureSettings::*field;
};
// In the order the lines are written.
constexpr IntegerKey kIntegerKeys[] = {{"spsSel:", &MeasureSettings::spsSel},
                                       {"DataCountSel:", &MeasureSettings::DataCountSel},
                                       {"CHSel:", &MeasureSettings::CHSel},
                                       {"GainSel:", &MeasureSettings::GainSel}};
constexpr FlagKey kFlagKeys[] = {{"fSinc5:", &MeasureSettings::fSinc5},
                                 {"fBUF_ON:", &MeasureSettings::fBUF_ON}};

bool IsIndex(std::int32_t value, int count) {
    return value >= 0 && value < count;
}

// The window uses these three as indexes into its boxes and tables.
bool SettingsInRange(const MeasureSettings& settings) {
    return IsIndex(settings.spsSel, kRateCount) &&
           IsIndex(settings.DataCountSel, kSampleCountCount) &&
           IsIndex(settings.CHSel, kChannelChoiceCount);
}

bool IsSavable(const ChannelSeries& series) {
    return series.Codes != nullptr && series.Count >= 0 && series.Count <= kSeriesCapacity;
}

bool IsSeriesPresent(const ChannelSeries& series) {
    return series.Codes != nullptr;
}

// Why a file that is no regular one, or cannot be opened, is not read.
FileFailure OpenFailure(const PosixFile& file) {
    return file.Error() == PosixFile::kNotRegular ? FileFailure{FileFailure::Kind::NotRegular}
                                                  : FileFailure::System(file.Error());
}

// The number, from 1, of the line in which the reading stands: the line just taken in, or at
// the end of the file its last line. Counted afresh from the start, as only a failure asks.
int CurrentLine(std::FILE* file) {
    const long position = std::ftell(file);
    std::array<char, 4096> buffer;
    int line = 1;
    for (off_t offset = 0; offset + 1 < position;) {
        const auto want = std::min<off_t>(static_cast<off_t>(buffer.size()), position - 1 - offset);
        const ssize_t n =
            pread(fileno(file), buffer.data(), static_cast<std::size_t>(want), offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        line += static_cast<int>(std::count(buffer.data(), buffer.data() + n, '\n'));
        offset += n;
    }
    return line;
}

// Where and why the reading stopped when a section could not be read as `kind` says.
FileFailure Stopped(std::FILE* file, FileFailure::Kind kind) {
    if (std::ferror(file) != 0) {
        return FileFailure::System(EIO);
    }
    return FileFailure::AtLine(std::feof(file) != 0 ? FileFailure::Kind::CutShort : kind,
                               CurrentLine(file));
}

bool IsEmpty(std::FILE* file) {
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && status.st_size == 0;
}

bool Reported(const FileFailure& found, FileFailure* failure) {
    if (failure != nullptr) {
        *failure = found;
    }
    return !found.Failed();
}

using FilePointer = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

}  // namespace

TmyFile::TmyFile(Prompts& operatorPrompts) : prompts(operatorPrompts) {}

bool TmyFile::SaveOneChannel(const std::string& fileName, const MeasureSettings& settings,
                             const ChannelSeries& series, FileFailure* failure) {
    if (!IsSavable(series)) {
        return Reported(FileFailure::System(EINVAL), failure);
    }
    std::string text = WriteFileStart(settings);
    WriteDataOneColumn(text, series);
    return Reported(Save(fileName, text), failure);
}

bool TmyFile::SaveTwoChannels(const std::string& fileName, const MeasureSettings& settings,
                              const ChannelSeries& ch0, const ChannelSeries& ch1,
                              FileFailure* failure) {
    if (!IsSavable(ch0) || !IsSavable(ch1)) {
        return Reported(FileFailure::System(EINVAL), failure);
    }
    std::string text = WriteFileStart(settings);
    WriteDataTwoColumns(text, ch0, ch1);
    return Reported(Save(fileName, text), failure);
}

bool TmyFile::Load(const std::string& fileName, MeasureSettings& settings, ChannelSeries& ch0,
                   ChannelSeries& ch1, FileFailure* failure) {
    if (fileName.empty() || !IsSeriesPresent(ch0) || !IsSeriesPresent(ch1)) {
        return Reported(FileFailure::System(fileName.empty() ? ENOENT : EINVAL), failure);
    }
    return Reported(Read(fileName, settings, ch0, ch1), failure);
}

FileFailure TmyFile::Read(const std::string& fileName, MeasureSettings& settings,
                          ChannelSeries& ch0, ChannelSeries& ch1) {
    // Only a regular file is read: a device or a pipe would never end, or never begin.
    PosixFile opened = PosixFile::OpenRegular(fileName);
    if (!opened.IsOpen()) {
        return OpenFailure(opened);
    }
    const FilePointer file(fdopen(opened.Descriptor(), "rb"), &std::fclose);
    if (!file) {
        return FileFailure::System(errno);
    }
    opened.Release();  // the stream closes it now
    std::string line;
    if (!ReadLine(file.get(), line) || line != kIdentification) {
        return {IsEmpty(file.get()) ? FileFailure::Kind::Empty : FileFailure::Kind::NotDataFile};
    }
    if (!ReadSettingsSection(file.get(), settings)) {
        return Stopped(file.get(), FileFailure::Kind::BadLine);
    }
    if (!SettingsInRange(settings)) {
        return {FileFailure::Kind::BadSettings};
    }
    const FileFailure::Kind data = ReadDataSection(file.get(), settings.CHSel, ch0, ch1);
    return data == FileFailure::Kind::None ? FileFailure() : Stopped(file.get(), data);
}

// An existing file is replaced only when the operator says so; declining writes nothing and
// counts as success.
FileFailure TmyFile::Save(const std::string& fileName, const std::string& text) {
    const FileReplacement replacement(fileName);
    if (replacement.Exists() && !ConfirmOverwrite(fileName)) {
        return {};
    }
    return replacement.Write(text);
}

bool TmyFile::ConfirmOverwrite(const std::string& fileName) {
    return ::ConfirmOverwrite(prompts, fileName);
}

std::string TmyFile::WriteFileStart(const MeasureSettings& settings) {
    std::string text;
    WriteLine(text, kIdentification);
    WriteSettingsSection(text, settings);
    return text;
}

void TmyFile::WriteLine(std::string& text, std::string_view line) {
    text += line;
    text += "\r\n";
}

void TmyFile::WriteSettingsSection(std::string& text, const MeasureSettings& settings) {
    WriteLine(text, kSettingsStart);
    for (const auto& entry : kIntegerKeys) {
        WriteLine(text, std::string(entry.key) + std::to_string(settings.*entry.field));
    }
    for (const auto& entry : kFlagKeys) {
        WriteLine(text, std::string(entry.key) + (settings.*entry.field ? "1" : "0"));
    }
    WriteLine(text, kSettingsEnd);
}

void TmyFile::WriteDataOneColumn(std::string& text, const ChannelSeries& series) {
    WriteLine(text, kDataStart);
    for (std::int32_t i = 0; i < series.Count; ++i) {
        WriteLine(text, std::to_string(series.Codes[i]));
    }
    WriteLine(text, kDataEnd);
}

void TmyFile::WriteDataTwoColumns(std::string& text, const ChannelSeries& ch0,
                                  const ChannelSeries& ch1) {
    WriteLine(text, kDataStart);
    for (std::int32_t i = 0; i < ch0.Count; ++i) {
        WriteLine(text, std::to_string(ch0.Codes[i]) + "," + std::to_string(ch1.Codes[i]));
    }
    WriteLine(text, kDataEnd);
}

bool TmyFile::ReadLine(std::FILE* file, std::string& line) {
    std::array<char, kLineBufferSize> buffer;
    do {
        if (std::fgets(buffer.data(), kLineBufferSize, file) == nullptr) {
            return false;
        }
    } while (buffer[0] == ';' || buffer[0] == '\0');
    // A NUL ends the text, as it ends any C string. Line ends usually stand only at the end,
    // so the whole line is taken at once and only a stray CR or LF costs a second pass.
    std::string_view text(buffer.data());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    line.assign(text);
    if (std::memchr(text.data(), '\r', text.size()) != nullptr ||
        std::memchr(text.data(), '\n', text.size()) != nullptr) {
        std::erase_if(line, [](char c) { return c == '\r' || c == '\n'; });
    }
    return true;
}

bool TmyFile::FindMarker(std::FILE* file, std::string_view marker) {
    std::string line;
    for (int i = 0; i < kMarkerSearchLines; ++i) {
        if (!ReadLine(file, line)) {
            return false;
        }
        if (line == marker) {
            return true;
        }
    }
    return false;
}

bool TmyFile::ReadSettingsSection(std::FILE* file, MeasureSettings& settings) {
    if (!FindMarker(file, kSettingsStart)) {
        return false;
    }
    std::string line;
    for (int i = 0; i < kSettingsLineLimit; ++i) {
        if (!ReadLine(file, line)) {
            return false;
        }
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            return false;
        }
        const std::string_view key = std::string_view(line).substr(0, colon + 1);
        const std::string_view value = std::string_view(line).substr(colon + 1);
        if (key == kSettingsEnd && i >= kFirstSettingsEndLine) {
            return true;
        }
        if (!StoreSetting(key, value, settings)) {
            return false;
        }
    }
    return true;
}

// Unknown keys, and an early "MEND:", are ignored.
bool TmyFile::StoreSetting(std::string_view key, std::string_view value,
                           MeasureSettings& settings) {
    for (const auto& entry : kIntegerKeys) {
        if (key == entry.key) {
            return ParseInteger(value, settings.*entry.field);
        }
    }
    for (const auto& entry : kFlagKeys) {
        if (key == entry.key) {
            return ParseFlag(value, settings.*entry.field);
        }
    }
    return true;
}

FileFailure::Kind TmyFile::ReadDataSection(std::FILE* file, std::int32_t chSel, ChannelSeries& ch0,
                                           ChannelSeries& ch1) {
    if (chSel == 2) {
        return ReadDataTwoColumns(file, ch0, ch1);
    }
    ChannelSeries& recorded = chSel == 0 ? ch0 : ch1;
    ChannelSeries& other = chSel == 0 ? ch1 : ch0;
    const FileFailure::Kind result = ReadDataOneColumn(file, recorded);
    if (result == FileFailure::Kind::None) {
        other.Count = 0;
    }
    return result;
}

TmyFile::DataLine TmyFile::NextDataLine(std::FILE* file, std::string& line) {
    if (!ReadLine(file, line)) {
        return DataLine::Bad;
    }
    if (line.find(':') == std::string::npos) {
        return DataLine::Sample;
    }
    return line == kDataEnd ? DataLine::End : DataLine::Bad;
}

FileFailure::Kind TmyFile::ReadDataOneColumn(std::FILE* file, ChannelSeries& series) {
    if (!FindMarker(file, kDataStart)) {
        return FileFailure::Kind::BadLine;
    }
    series.Count = 0;
    std::string line;
    DataLine kind;
    while ((kind = NextDataLine(file, line)) == DataLine::Sample) {
        std::int32_t code = 0;
        if (series.Count >= kSeriesCapacity) {
            return FileFailure::Kind::TooManySamples;
        }
        if (!ParseInteger(line, code)) {
            return FileFailure::Kind::BadLine;
        }
        series.Codes[series.Count++] = code;
    }
    return DataEnd(kind);
}

FileFailure::Kind TmyFile::ReadDataTwoColumns(std::FILE* file, ChannelSeries& ch0,
                                              ChannelSeries& ch1) {
    if (!FindMarker(file, kDataStart)) {
        return FileFailure::Kind::BadLine;
    }
    ch0.Count = 0;
    ch1.Count = 0;
    std::string line;
    DataLine kind;
    while ((kind = NextDataLine(file, line)) == DataLine::Sample) {
        // Without a comma the left value is empty, and so invalid.
        const auto comma = line.find(',');
        const std::string_view left = comma == std::string::npos
                                          ? std::string_view()
                                          : std::string_view(line).substr(0, comma);
        const std::string_view right = comma == std::string::npos
                                           ? std::string_view(line)
                                           : std::string_view(line).substr(comma + 1);
        std::int32_t code0 = 0;
        std::int32_t code1 = 0;
        if (ch0.Count >= kSeriesCapacity) {
            return FileFailure::Kind::TooManySamples;
        }
        if (!ParseInteger(left, code0) || !ParseInteger(right, code1)) {
            return FileFailure::Kind::BadLine;
        }
        ch0.Codes[ch0.Count++] = code0;
        ch1.Codes[ch1.Count++] = code1;
    }
    return DataEnd(kind);
}

// The data section ends well only at "DEND:".
FileFailure::Kind TmyFile::DataEnd(DataLine kind) {
    return kind == DataLine::End ? FileFailure::Kind::None : FileFailure::Kind::BadLine;
}

// Leading blanks, an optional sign, then decimal digits, or hexadecimal digits after "$",
// "x" or "0x"; the sign applies to hexadecimal values too. The signed value must fit in
// 32 bits, so "$FFFFFFFF" is invalid and "-$80000000" is the smallest value.
bool TmyFile::ParseInteger(std::string_view text, std::int32_t& value) {
    if (ParsePlainDecimal(text, value)) {
        return true;
    }
    const auto start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        return false;
    }
    text.remove_prefix(start);
    const bool fNegative = text.front() == '-';
    if (fNegative || text.front() == '+') {
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with('$') || text.starts_with('x')) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.starts_with("0x")) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    const std::uint64_t limit = fNegative ? 2147483648u : 2147483647u;
    if (error != std::errc() || end != text.data() + text.size() || magnitude > limit) {
        return false;
    }
    value = static_cast<std::int32_t>(fNegative ? -static_cast<std::int64_t>(magnitude)
                                                : static_cast<std::int64_t>(magnitude));
    return true;
}

// Nearly every number in a file is a code: up to nine decimal digits and nothing else.
bool TmyFile::ParsePlainDecimal(std::string_view text, std::int32_t& value) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    std::int32_t result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        result = result * 10 + (c - '0');
    }
    value = result;
    return true;
}

bool TmyFile::ParseFlag(std::string_view text, bool& flag) {
    if (text != "0" && text != "1") {
        return false;
    }
    flag = text == "1";
    return true;
}
