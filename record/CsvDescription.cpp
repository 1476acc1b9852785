// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/CsvDescription.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "common/FileError.h"
#include "common/PosixFile.h"
#include "record/RecordingFormat.h"

namespace CsvDescription {

namespace {

constexpr std::size_t kReadSize = 256 * 1024;
// The header lines every recording carries, in the order `record` writes them.
constexpr std::string_view kHeaderKeys[] = {
    RecordingFormat::kBoardKey,  RecordingFormat::kRateKey,  RecordingFormat::kChannelKey,
    RecordingFormat::kFilterKey, RecordingFormat::kCountKey, RecordingFormat::kStartKey};

template <typename T>
bool Number(std::string_view text, T& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// "KEY:VALUE" split at its first colon.
bool Split(std::string_view text, std::string_view& key, std::string_view& value) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    key = text.substr(0, colon);
    value = text.substr(colon + 1);
    return true;
}

// "TIME KEY:NUMBER" of a restart or an end line, the rest after the number in `rest`.
bool TimeAndNumber(std::string_view text, std::string_view key, RecordingDescription::Time& time,
                   std::int64_t& number, std::string_view& rest) {
    const std::size_t space = text.find(' ');
    const auto parsed = RecordingDescription::ParseIsoTime(text.substr(0, space));
    if (!parsed || space == std::string_view::npos) {
        return false;
    }
    time = *parsed;
    std::string_view field = text.substr(space + 1);
    const std::size_t next = field.find(' ');
    rest = next == std::string_view::npos ? std::string_view() : field.substr(next + 1);
    field = field.substr(0, next);
    std::string_view name;
    std::string_view value;
    return Split(field, name, value) && name == key && Number(value, number);
}

class Parser {
public:
    explicit Parser(Notes& out) : notes(out) {}

    bool Comment(std::string_view text);
    bool Finish(std::string* reason) const;

private:
    bool Header(std::string_view key, std::string_view value);
    bool Restart(std::string_view value);
    bool End(std::string_view value);

    Notes& notes;
    std::vector<std::string_view> seen;
    bool fEnded = false;
};

bool Parser::Comment(std::string_view text) {
    while (text.starts_with(' ')) {
        text.remove_prefix(1);
    }
    std::string_view key;
    std::string_view value;
    if (!Split(text, key, value) || fEnded) {
        return !fEnded;  // nothing may follow the end line
    }
    if (key == RecordingFormat::kRestartKey) {
        return Restart(value);
    }
    if (key == RecordingFormat::kEndKey) {
        return End(value);
    }
    return Header(key, value);
}

bool Parser::Header(std::string_view key, std::string_view value) {
    RecordingHeader& header = notes.description.header;
    int number = 0;
    bool fRead = true;
    if (key == RecordingFormat::kBoardKey) {
        const std::size_t slash = value.find(" / ");
        fRead = slash != std::string_view::npos;
        header.boardName = value.substr(0, slash);
        header.boardVersion = fRead ? value.substr(slash + 3) : std::string_view();
    } else if (key == RecordingFormat::kRateKey) {
        fRead = Number(value, number) && number >= 0 && number < kRateCount;
        header.spsSel = number;
    } else if (key == RecordingFormat::kChannelKey) {
        fRead = Number(value, number) && number >= 0 && number < kChannelChoiceCount;
        header.chSel = number;
    } else if (key == RecordingFormat::kFilterKey) {
        fRead = Number(value, number) && (number == 0 || number == 1);
        header.fSinc5 = number == 1;
    } else if (key == RecordingFormat::kCountKey) {
        fRead = Number(value, header.count) && header.count >= 0;
    } else if (key == RecordingFormat::kStartKey) {
        const auto start = RecordingDescription::ParseIsoTime(value);
        fRead = start.has_value();
        header.start = start.value_or(RecordingDescription::Time());
    } else {
        return true;  // the sample rate follows from the settings; other notes are kept by none
    }
    for (const std::string_view known : kHeaderKeys) {
        if (known == key) {
            seen.push_back(known);
        }
    }
    return fRead;
}

bool Parser::Restart(std::string_view value) {
    RecordingDescription::Restart restart;
    std::int64_t number = 0;
    std::string_view rest;
    const std::int64_t previous =
        notes.description.restarts.empty() ? 1 : notes.description.restarts.back().firstSample + 1;
    if (!TimeAndNumber(value, RecordingFormat::kSampleKey, restart.time, number, rest) ||
        !rest.empty() || number <= previous) {
        return false;
    }
    restart.firstSample = number - 1;
    notes.description.restarts.push_back(restart);
    return true;
}

bool Parser::End(std::string_view value) {
    RecordingDescription::End end;
    std::string_view rest;
    std::string_view key;
    std::string_view word;
    if (!TimeAndNumber(value, RecordingFormat::kSamplesKey, end.time, notes.endSamples, rest) ||
        !Split(rest, key, word) || key != RecordingFormat::kOutcomeKey) {
        return false;
    }
    const auto outcome = RecordingDescription::OutcomeOf(word);
    end.outcome = outcome.value_or(AcquisitionOutcome::None);
    notes.description.end = end;
    fEnded = true;
    return outcome.has_value();
}

bool Parser::Finish(std::string* reason) const {
    for (const std::string_view key : kHeaderKeys) {
        if (std::find(seen.begin(), seen.end(), key) == seen.end()) {
            *reason = "見出しの行「# " + std::string(key) + ":」がありません";
            return false;
        }
    }
    return true;
}

}  // namespace

bool Read(const std::string& path, Notes& notes, std::string* reason) {
    notes = {};
    const PosixFile file = PosixFile::OpenRegular(path);
    if (!file.IsOpen()) {
        *reason = FileErrorReason(file.Error());
        return false;
    }
    Parser parser(notes);
    const auto buffer = std::make_unique<char[]>(kReadSize);
    std::string line;  // a comment line across two reads
    bool fLineStart = true;
    bool fComment = false;
    bool fGood = true;
    PosixFile::Transfer chunk;
    // A read that comes back short has met the end of the file.
    for (bool fMore = true; fGood && fMore;) {
        chunk = file.ReadAll(std::span(buffer.get(), kReadSize));
        fMore = chunk.done == kReadSize;
        const char* at = buffer.get();
        const char* const end = at + chunk.done;
        while (fGood && at < end) {
            if (fLineStart) {
                fComment = *at == '#';
                line.clear();
            }
            const char* const lineEnd = static_cast<const char*>(std::memchr(at, '\n', end - at));
            const char* const stop = lineEnd == nullptr ? end : lineEnd;
            if (fComment) {
                line.append(at, stop);
            }
            fLineStart = lineEnd != nullptr;
            if (fLineStart && fComment) {
                std::string_view text(line);
                if (text.ends_with('\r')) {
                    text.remove_suffix(1);
                }
                fGood = parser.Comment(text.substr(1));
            }
            at = lineEnd == nullptr ? end : lineEnd + 1;
        }
    }
    if (chunk.error != 0) {
        *reason = FileErrorReason(chunk.error);
        return false;
    }
    if (!fGood) {
        *reason = "注釈の行が正しくありません：" + line;
        return false;
    }
    return parser.Finish(reason);
}

}  // namespace CsvDescription
