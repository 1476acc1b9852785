// SPDX-License-Identifier: GPL-3.0-or-later
#include "Myfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>

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

constexpr int kTemporaryAttempts = 100;
constexpr int kMaxLinkHops = 40;  // as the kernel allows before it reports a loop

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

// Permission bits do not stop root, so a file without any write bit is refused as well:
// the operator marked it read-only.
bool IsWritable(const std::string& fileName, const struct stat& status) {
    return access(fileName.c_str(), W_OK) == 0 && (status.st_mode & 0222) != 0;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Saving through a symbolic link writes the file it names, also one that does not exist
// yet, as an editor does; the link stays a link. Empty for a loop of links.
std::optional<std::string> FollowLinks(std::string path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::array<char, PATH_MAX> target;
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) == target.size()) {
            return path;
        }
        const std::string next(target.data(), static_cast<std::size_t>(length));
        path = next.front() == '/' ? next : DirectoryOf(path) + "/" + next;
    }
    return std::nullopt;
}

// A short name of our own, so that a target name near the length limit still gets one.
int CreateTemporary(const std::string& directory, std::string& name) {
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        name = directory + "/.selkoran-" + std::to_string(getpid()) + "-" +
               std::to_string(attempt) + ".tmp";
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The rename has already happened; a file system that cannot sync a directory does not
// undo the save.
void SyncDirectory(const std::string& directory) {
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

enum class Replacement { Done, FolderRefused, Failed };

bool IsRefusedByFolder(int error) {
    return error == EACCES || error == EPERM;
}

// Writes the whole text to a new file beside the target and renames it over the target
// only when every byte is on disk, so a failure at any point leaves the old file as it
// was. `mode` is the replaced file's; a new file gets the umask's default. A file with
// further hard links is replaced like any other: the other names keep the old data.
Replacement ReplaceFile(const std::string& target, std::string_view text,
                        std::optional<mode_t> mode) {
    const std::string directory = DirectoryOf(target);
    std::string temporary;
    const int fd = CreateTemporary(directory, temporary);
    if (fd < 0) {
        return IsRefusedByFolder(errno) ? Replacement::FolderRefused : Replacement::Failed;
    }
    bool fOk = (!mode || fchmod(fd, *mode) == 0) && WriteAll(fd, text) && fsync(fd) == 0;
    fOk = close(fd) == 0 && fOk;
    if (!fOk) {
        unlink(temporary.c_str());
        return Replacement::Failed;
    }
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return IsRefusedByFolder(error) ? Replacement::FolderRefused : Replacement::Failed;
    }
    SyncDirectory(directory);
    return Replacement::Done;
}

// Where the folder takes no new entries (or, being sticky, lets nobody else's be replaced)
// the existing file is rewritten in place, as a plain save does. A failure part way leaves
// it incomplete, so this is only the way out when the atomic replace cannot be had.
bool WriteInPlace(const std::string& target, std::string_view text) {
    const int fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool fOk = WriteAll(fd, text) && fsync(fd) == 0;
    return close(fd) == 0 && fOk;
}

// An existing file is replaced atomically where its folder allows it, else rewritten in place.
bool Overwrite(const std::string& target, std::string_view text, const struct stat& existing) {
    switch (ReplaceFile(target, text, existing.st_mode & 07777)) {
        case Replacement::Done:
            return true;
        case Replacement::FolderRefused:
            return S_ISREG(existing.st_mode) && WriteInPlace(target, text);
        case Replacement::Failed:
            break;
    }
    return false;
}

// Only a regular file is read: a device or a pipe would never end, or never begin. The
// second look, at what was opened, covers a file swapped in between.
int OpenRegularFile(const std::string& fileName) {
    struct stat status {};
    if (stat(fileName.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return -1;
    }
    const int fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        close(fd);
        return -1;
    }
    return fd;
}

using FilePointer = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

}  // namespace

TmyFile::TmyFile(Prompts& operatorPrompts) : prompts(operatorPrompts) {}

bool TmyFile::SaveOneChannel(const std::string& fileName, const MeasureSettings& settings,
                             const ChannelSeries& series) {
    if (!IsSavable(series)) {
        return false;
    }
    std::string text = WriteFileStart(settings);
    WriteDataOneColumn(text, series);
    return Save(fileName, text);
}

bool TmyFile::SaveTwoChannels(const std::string& fileName, const MeasureSettings& settings,
                              const ChannelSeries& ch0, const ChannelSeries& ch1) {
    if (!IsSavable(ch0) || !IsSavable(ch1)) {
        return false;
    }
    std::string text = WriteFileStart(settings);
    WriteDataTwoColumns(text, ch0, ch1);
    return Save(fileName, text);
}

bool TmyFile::Load(const std::string& fileName, MeasureSettings& settings, ChannelSeries& ch0,
                   ChannelSeries& ch1) {
    if (fileName.empty() || !IsSeriesPresent(ch0) || !IsSeriesPresent(ch1)) {
        return false;
    }
    const int fd = OpenRegularFile(fileName);
    if (fd < 0) {
        return false;
    }
    const FilePointer file(fdopen(fd, "rb"), &std::fclose);
    if (!file) {
        close(fd);
        return false;
    }
    std::string line;
    if (!ReadLine(file.get(), line) || line != kIdentification) {
        return false;
    }
    if (!ReadSettingsSection(file.get(), settings) || !SettingsInRange(settings)) {
        return false;
    }
    return ReadDataSection(file.get(), settings.CHSel, ch0, ch1);
}

bool TmyFile::Save(const std::string& fileName, const std::string& text) {
    if (fileName.empty()) {
        return false;
    }
    const std::optional<std::string> target = FollowLinks(fileName);
    if (!target) {
        return false;
    }
    struct stat existing {};
    if (stat(target->c_str(), &existing) != 0 || S_ISDIR(existing.st_mode)) {
        return ReplaceFile(*target, text, std::nullopt) == Replacement::Done;
    }
    if (!ConfirmOverwrite(fileName)) {
        return true;
    }
    return IsWritable(*target, existing) && Overwrite(*target, text, existing);
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

bool TmyFile::ReadDataSection(std::FILE* file, std::int32_t chSel, ChannelSeries& ch0,
                              ChannelSeries& ch1) {
    if (chSel == 2) {
        return ReadDataTwoColumns(file, ch0, ch1);
    }
    ChannelSeries& recorded = chSel == 0 ? ch0 : ch1;
    ChannelSeries& other = chSel == 0 ? ch1 : ch0;
    if (!ReadDataOneColumn(file, recorded)) {
        return false;
    }
    other.Count = 0;
    return true;
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

bool TmyFile::ReadDataOneColumn(std::FILE* file, ChannelSeries& series) {
    if (!FindMarker(file, kDataStart)) {
        return false;
    }
    series.Count = 0;
    std::string line;
    DataLine kind;
    while ((kind = NextDataLine(file, line)) == DataLine::Sample) {
        std::int32_t code = 0;
        if (series.Count >= kSeriesCapacity || !ParseInteger(line, code)) {
            return false;
        }
        series.Codes[series.Count++] = code;
    }
    return kind == DataLine::End;
}

bool TmyFile::ReadDataTwoColumns(std::FILE* file, ChannelSeries& ch0, ChannelSeries& ch1) {
    if (!FindMarker(file, kDataStart)) {
        return false;
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
        if (ch0.Count >= kSeriesCapacity || !ParseInteger(left, code0) ||
            !ParseInteger(right, code1)) {
            return false;
        }
        ch0.Codes[ch0.Count++] = code0;
        ch1.Codes[ch1.Count++] = code1;
    }
    return kind == DataLine::End;
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
