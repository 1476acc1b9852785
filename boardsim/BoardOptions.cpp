// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardsim/BoardOptions.h"

#include <charconv>
#include <functional>
#include <limits>

namespace {

constexpr int kMaxRecordNumber = 0xFFFFF;  // the largest count a start command can carry
constexpr int kMaxDelayMs = 60000;
constexpr std::size_t kMaxTextLength = 19;

template <typename T>
bool ParseNumber(std::string_view text, T min, T max, T* value) {
    T parsed{};
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
    if (ec != std::errc() || ptr != end || text.empty() || parsed < min || parsed > max) {
        return false;
    }
    *value = parsed;
    return true;
}

bool ParseText(std::string_view text, std::string* value) {
    if (text.empty() || text.size() > kMaxTextLength) {
        return false;
    }
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    *value = std::string(text);
    return true;
}

bool ParseRecord(std::string_view text, int* value) {
    return ParseNumber(text, 0, kMaxRecordNumber, value);
}

bool ParseFlag(std::string_view text, bool* value) {
    *value = true;
    return text.empty();
}

using Setter = std::function<bool(std::string_view, BoardOptions&)>;

struct Key {
    std::string_view name;
    Setter set;
};

const Key kKeys[] = {
    {"seed",
     [](std::string_view v, BoardOptions& o) {
         return ParseNumber(v, std::uint64_t{0}, std::numeric_limits<std::uint64_t>::max(),
                            &o.seed);
     }},
    {"ch0", [](std::string_view v,
               BoardOptions& o) { return ParseNumber(v, -2.6e6, 2.6e6, &o.ch0Microvolts); }},
    {"ch1", [](std::string_view v,
               BoardOptions& o) { return ParseNumber(v, -2.6e6, 2.6e6, &o.ch1Microvolts); }},
    {"name", [](std::string_view v, BoardOptions& o) { return ParseText(v, &o.name); }},
    {"serial", [](std::string_view v, BoardOptions& o) { return ParseText(v, &o.serial); }},
    {"silent", [](std::string_view v, BoardOptions& o) { return ParseFlag(v, &o.fSilent); }},
    {"ng", [](std::string_view v, BoardOptions& o) { return ParseText(v, &o.ngCommand); }},
    {"delay", [](std::string_view v,
                 BoardOptions& o) { return ParseNumber(v, 0, kMaxDelayMs, &o.replyDelayMs); }},
    {"split",
     [](std::string_view v, BoardOptions& o) { return ParseNumber(v, 1, 64, &o.replyBurstSize); }},
    {"lf", [](std::string_view v, BoardOptions& o) { return ParseRecord(v, &o.lineFeedAt); }},
    {"short", [](std::string_view v, BoardOptions& o) { return ParseRecord(v, &o.shortRecordAt); }},
    {"stopafter", [](std::string_view v, BoardOptions& o) { return ParseRecord(v, &o.stopAfter); }},
    {"purgefail",
     [](std::string_view v, BoardOptions& o) { return ParseRecord(v, &o.purgeFailsAt); }},
    {"vanish", [](std::string_view v, BoardOptions& o) { return ParseRecord(v, &o.vanishAfter); }},
};

bool ParseItem(std::string_view item, BoardOptions* options, std::string* error) {
    const auto equals = item.find('=');
    const auto keyName = item.substr(0, equals);
    const auto value =
        equals == std::string_view::npos ? std::string_view{} : item.substr(equals + 1);
    for (const auto& key : kKeys) {
        if (key.name != keyName) {
            continue;
        }
        if (equals == std::string_view::npos && key.name != "silent") {
            *error = "シミュレータの設定に値がありません: " + std::string(item);
            return false;
        }
        if (!key.set(value, *options)) {
            *error = "シミュレータの設定値が正しくありません: " + std::string(item);
            return false;
        }
        return true;
    }
    *error = "シミュレータの設定項目が不明です: " + std::string(keyName);
    return false;
}

}  // namespace

bool BoardOptions::Parse(std::string_view text, BoardOptions* options, std::string* error) {
    while (!text.empty()) {
        const auto comma = text.find(',');
        const auto item = text.substr(0, comma);
        if (!ParseItem(item, options, error)) {
            return false;
        }
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (comma != std::string_view::npos && text.empty()) {
            *error = "シミュレータの設定が空です";
            return false;
        }
    }
    return true;
}
