// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiParser.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "serve/ErrorQueue.h"

namespace {

constexpr std::size_t kLongestMnemonic = 12;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

bool IsMnemonic(std::string_view text) {
    return !text.empty() && text.size() <= kLongestMnemonic &&
           std::isalpha(static_cast<unsigned char>(text.front())) &&
           std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

// Splits `text` at `separator` where it stands outside quotes and parentheses; false when a
// quote or a parenthesis is left open.
bool SplitTopLevel(std::string_view text, char separator, std::vector<std::string_view>& parts) {
    char quote = 0;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth < 0) {
                return false;
            }
        } else if (c == separator && depth == 0) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.substr(start));
    return quote == 0 && depth == 0;
}

}  // namespace

std::vector<ScpiUnit> ScpiParser::Parse(std::string_view message) {
    std::vector<std::string_view> texts;
    if (!SplitTopLevel(message, ';', texts)) {
        ScpiUnit broken;
        broken.error = ScpiError::kSyntax;
        return {broken};
    }
    // A message may end with ";", and a blank line says nothing.
    while (!texts.empty() && Trimmed(texts.back()).empty()) {
        texts.pop_back();
    }
    std::vector<ScpiUnit> units;
    std::vector<std::string> path;
    for (const std::string_view text : texts) {
        units.push_back(ParseUnit(Trimmed(text), path));
    }
    return units;
}

ScpiUnit ScpiParser::ParseUnit(std::string_view text, std::vector<std::string>& path) {
    ScpiUnit unit;
    const std::size_t blank = std::find_if(text.begin(), text.end(), IsBlank) - text.begin();
    if (!ParseHeader(text.substr(0, blank), unit, path) ||
        (blank < text.size() && !SplitParameters(Trimmed(text.substr(blank)), unit.parameters))) {
        unit.error = ScpiError::kSyntax;
    }
    return unit;
}

bool ScpiParser::ParseHeader(std::string_view text, ScpiUnit& unit,
                             std::vector<std::string>& path) {
    if (text.ends_with('?')) {
        unit.fQuery = true;
        text.remove_suffix(1);
    }
    if (text.starts_with('*')) {
        const std::string_view name = text.substr(1);
        unit.header = {'*' + Upper(name)};
        return !name.empty() && std::all_of(name.begin(), name.end(),
                                            [](unsigned char c) { return std::isalpha(c); });
    }
    const bool fFromRoot = text.starts_with(':');
    if (fFromRoot) {
        text.remove_prefix(1);
    }
    std::vector<std::string_view> mnemonics;
    SplitTopLevel(text, ':', mnemonics);
    if (!std::all_of(mnemonics.begin(), mnemonics.end(), IsMnemonic)) {
        return false;
    }
    unit.header = fFromRoot ? std::vector<std::string>{} : path;
    for (const std::string_view mnemonic : mnemonics) {
        unit.header.push_back(Upper(mnemonic));
    }
    // The next command without a leading colon continues from this one's parent.
    path.assign(unit.header.begin(), unit.header.end() - 1);
    return true;
}

bool ScpiParser::SplitParameters(std::string_view text, std::vector<std::string>& parameters) {
    std::vector<std::string_view> parts;
    if (!SplitTopLevel(text, ',', parts)) {
        return false;
    }
    for (const std::string_view part : parts) {
        const std::string_view parameter = Trimmed(part);
        if (parameter.empty()) {
            return false;
        }
        parameters.emplace_back(parameter);
    }
    return true;
}

std::optional<double> ScpiParser::Number(std::string_view text) {
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    const std::string_view digits = "0123456789";
    const std::size_t start = text.starts_with('-') ? 1 : 0;
    const std::size_t mantissaEnd = std::min(text.find_first_of("eE"), text.size());
    const std::string_view mantissa =
        text.substr(start, mantissaEnd - std::min(start, mantissaEnd));
    // At least one digit in the mantissa; from_chars would also take "inf" and "nan".
    if (mantissa.find_first_of(digits) == std::string_view::npos ||
        mantissa.find_first_not_of("0123456789.") != std::string_view::npos) {
        return std::nullopt;
    }
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || last != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

bool ScpiParser::Matches(std::string_view text, std::string_view pattern) {
    const std::string upper = Upper(text);
    return upper == Upper(pattern) || upper == ShortForm(pattern);
}

std::string_view ScpiParser::ShortForm(std::string_view pattern) {
    const auto lower = std::find_if(pattern.begin(), pattern.end(),
                                    [](unsigned char c) { return std::islower(c); });
    return pattern.substr(0, static_cast<std::size_t>(lower - pattern.begin()));
}

std::string_view ScpiParser::WithoutSuffix(std::string_view mnemonic) {
    const std::size_t last = mnemonic.find_last_not_of("0123456789");
    return mnemonic.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

int ScpiParser::Suffix(std::string_view mnemonic) {
    constexpr std::size_t kLongestSuffix = 4;
    const std::string_view digits = mnemonic.substr(WithoutSuffix(mnemonic).size());
    if (digits.empty()) {
        return 1;
    }
    int suffix = 0;
    if (digits.size() > kLongestSuffix ||
        std::from_chars(digits.data(), digits.data() + digits.size(), suffix).ec != std::errc{}) {
        return 0;
    }
    return suffix;
}
