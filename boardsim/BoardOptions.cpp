// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardsim/BoardOptions.h"

#include <charconv>
#include <functional>
#include <limits>

namespace {

constexpr int kMaxRecordNumber = 0xFFFFF;  // the largest count a start command can carry
constexpr int kMaxDelayMs = 60000;
constexpr std::size_t kMaxTextLength = 19;
constexpr double kMaxInputMicrovolts = 2.6e6;
// A sine up to the simulator's fastest rate and beyond, where it aliases as on the board.
constexpr double kLowestSineHz = 0.001;
constexpr double kHighestSineHz = 1e6;
constexpr double kLowestHarmonicDbc = -200.0;

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

bool ParseHarmonic(std::string_view text, std::optional<double>* dbc) {
    double value = 0.0;
    if (!ParseNumber(text, kLowestHarmonicDbc, 0.0, &value)) {
        return false;
    }
    *dbc = value;
    return true;
}

// The sine's shape without its frequency would be silently ignored.
bool ShapesSine(std::string_view item) {
    return item.starts_with("amp=") || item.starts_with("hd2=") || item.starts_with("hd3=");
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
    {"ch0",
     [](std::string_view v, BoardOptions& o) {
         return ParseNumber(v, -kMaxInputMicrovolts, kMaxInputMicrovolts, &o.ch0Microvolts);
     }},
    {"ch1",
     [](std::string_view v, BoardOptions& o) {
         return ParseNumber(v, -kMaxInputMicrovolts, kMaxInputMicrovolts, &o.ch1Microvolts);
     }},
    {"sine",
     [](std::string_view v, BoardOptions& o) {
         return ParseNumber(v, kLowestSineHz, kHighestSineHz, &o.sine.frequencyHz);
     }},
    {"amp",
     [](std::string_view v, BoardOptions& o) {
         return ParseNumber(v, 0.0, kMaxInputMicrovolts, &o.sine.peakMicrovolts);
     }},
    {"hd2", [](std::string_view v, BoardOptions& o) { return ParseHarmonic(v, &o.sine.hd2Dbc); }},
    {"hd3", [](std::string_view v, BoardOptions& o) { return ParseHarmonic(v, &o.sine.hd3Dbc); }},
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
    std::string_view shape;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const auto item = text.substr(0, comma);
        if (!ParseItem(item, options, error)) {
            return false;
        }
        if (ShapesSine(item)) {
            shape = item;
        }
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (comma != std::string_view::npos && text.empty()) {
            *error = "シミュレータの設定が空です";
            return false;
        }
    }
    if (!shape.empty() && options->sine.frequencyHz == 0.0) {
        *error = "シミュレータの設定には sine も必要です: " + std::string(shape);
        return false;
    }
    return true;
}
