// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingDescription.h"

#include <array>
#include <charconv>
#include <ctime>
#include <utility>

namespace {

constexpr std::array<std::pair<AcquisitionOutcome, std::string_view>, 5> kOutcomeWords = {{
    {AcquisitionOutcome::Complete, "complete"},
    {AcquisitionOutcome::Stopped, "stopped"},
    {AcquisitionOutcome::TimedOut, "timeout"},
    {AcquisitionOutcome::ReadFailed, "read-failed"},
    {AcquisitionOutcome::WriteFailed, "write-failed"},
}};

// The whole number of `digits` digits at `text[at]`.
bool Digits(std::string_view text, std::size_t at, std::size_t digits, int& value) {
    if (at + digits > text.size()) {
        return false;
    }
    const char* first = text.data() + at;
    const auto result = std::from_chars(first, first + digits, value);
    return result.ec == std::errc() && result.ptr == first + digits && value >= 0;
}

}  // namespace

std::string_view RecordingDescription::OutcomeWord(AcquisitionOutcome outcome) {
    for (const auto& [known, word] : kOutcomeWords) {
        if (known == outcome) {
            return word;
        }
    }
    return {};
}

std::optional<AcquisitionOutcome> RecordingDescription::OutcomeOf(std::string_view word) {
    for (const auto& [outcome, known] : kOutcomeWords) {
        if (known == word) {
            return outcome;
        }
    }
    return std::nullopt;
}

std::optional<RecordingDescription::Time> RecordingDescription::ParseIsoTime(
    std::string_view text) {
    // YYYY-MM-DDTHH:MM:SS[.mmm]Z
    std::tm utc{};
    int milliseconds = 0;
    const bool fFraction = text.size() == 24;
    if ((text.size() != 20 && !fFraction) || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text.back() != 'Z' ||
        (fFraction && (text[19] != '.' || !Digits(text, 20, 3, milliseconds))) ||
        !Digits(text, 0, 4, utc.tm_year) || !Digits(text, 5, 2, utc.tm_mon) ||
        !Digits(text, 8, 2, utc.tm_mday) || !Digits(text, 11, 2, utc.tm_hour) ||
        !Digits(text, 14, 2, utc.tm_min) || !Digits(text, 17, 2, utc.tm_sec) || utc.tm_mon < 1 ||
        utc.tm_mon > 12 || utc.tm_mday < 1 || utc.tm_mday > 31 || utc.tm_hour > 23 ||
        utc.tm_min > 59 || utc.tm_sec > 60) {
        return std::nullopt;
    }
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    const std::time_t seconds = timegm(&utc);
    return Time(std::chrono::seconds(seconds)) + std::chrono::milliseconds(milliseconds);
}
