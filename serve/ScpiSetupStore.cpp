// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiSetupStore.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <vector>

#include "common/FileError.h"
#include "common/PosixFile.h"
#include "datafile/FileReplacement.h"
#include "measure/Acquisition.h"
#include "serve/ServerLog.h"

namespace {

constexpr std::string_view kFirstLine = "# SELKORAN instrument setup";
// Far more than a setup's text: a larger file is no setup.
constexpr std::size_t kLongestFile = 4096;
constexpr double kLargestNull = 2.5;  // the board's range, volts

std::string Number(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::optional<double> ReadNumber(std::string_view text, double largest) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value) ||
        std::abs(value) > largest) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> Fields(std::string_view text) {
    std::vector<std::string_view> fields;
    for (std::size_t comma = text.find(','); comma != std::string_view::npos;
         comma = text.find(',')) {
        fields.push_back(text.substr(0, comma));
        text.remove_prefix(comma + 1);
    }
    fields.push_back(text);
    return fields;
}

// "1,2.5E-3,..." as a state and `count` numbers within ±largest.
std::optional<std::vector<double>> StateAndNumbers(std::string_view text, std::size_t count,
                                                   double largest) {
    const std::vector<std::string_view> fields = Fields(text);
    if (fields.size() != count + 1 || (fields[0] != "0" && fields[0] != "1")) {
        return std::nullopt;
    }
    std::vector<double> values = {fields[0] == "1" ? 1.0 : 0.0};
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const std::optional<double> value = ReadNumber(fields[i], largest);
        if (!value) {
            return std::nullopt;
        }
        values.push_back(*value);
    }
    return values;
}

std::optional<int> Whole(std::string_view text, int first, int last) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < first || value > last) {
        return std::nullopt;
    }
    return value;
}

bool ValidUnit(std::string_view unit) {
    std::size_t characters = 0;
    for (const char c : unit) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
        characters += (byte & 0xC0) != 0x80 ? 1 : 0;
    }
    return characters <= ScpiSetupStore::kLongestUnit;
}

// One channel's null, scale and limits from the lines "chN.null" ... "chN.limit".
bool ReadMath(const std::map<std::string, std::string, std::less<>>& lines,
              const std::string& prefix, ReadingMath& math) {
    const auto null = StateAndNumbers(lines.at(prefix + "null"), 1, kLargestNull);
    const auto scale = StateAndNumbers(lines.at(prefix + "scale"), 2, ReadingMath::kLargest);
    const auto limit = StateAndNumbers(lines.at(prefix + "limit"), 2, ReadingMath::kLargest);
    const std::string& unit = lines.at(prefix + "unit");
    if (!null || !scale || !limit || !ValidUnit(unit)) {
        return false;
    }
    math.null = {(*null)[0] != 0.0, (*null)[1]};
    math.scale = {(*scale)[0] != 0.0, (*scale)[1], (*scale)[2], unit};
    math.limit = {(*limit)[0] != 0.0, (*limit)[1], (*limit)[2]};
    return true;
}

// The settings of the run and the readings, each line checked.
bool ReadRun(const std::map<std::string, std::string, std::less<>>& lines, ScpiSetup& setup) {
    const auto rate = Whole(lines.at("rate"), 0, kRateCount - 1);
    const auto channels = Whole(lines.at("channels"), 0, kChannelChoiceCount - 1);
    const auto count = Whole(lines.at("count"), 1, static_cast<int>(Acquisition::kMaxStartCount));
    const auto line = Whole(lines.at("line"), 50, 60);
    const auto cycles = ReadNumber(lines.at("nplc"), ReadingAperture::kMostCycles);
    const std::string& filter = lines.at("filter");
    const std::string& trigger = lines.at("trigger");
    if (!rate || !channels || !count || !line || (*line != 50 && *line != 60) || !cycles ||
        (*cycles != 0.0 && *cycles < ReadingAperture::kLeastCycles) ||
        (filter != "sinc5" && filter != "sinc3") || (trigger != "imm" && trigger != "bus")) {
        return false;
    }
    setup.run.settings.spsSel = *rate;
    setup.run.settings.fSinc5 = filter == "sinc5";
    setup.run.settings.CHSel = *channels;
    setup.run.count = *count;
    setup.fBusTrigger = trigger == "bus";
    setup.aperture = {*cycles, *line};
    return true;
}

}  // namespace

std::string ScpiSetupStore::DefaultFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return std::string(state) + "/selkoran";
    }
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] == '/' ? std::string(home) + "/.local/state/selkoran"
                                             : std::string();
}

std::string ScpiSetupStore::PathOf(int index) const {
    return folder + "/setup" + std::to_string(index);
}

std::string ScpiSetupStore::Text(const ScpiSetup& setup) {
    const MeasureSettings& run = setup.run.settings;
    std::string text = std::string(kFirstLine) + '\n';
    text += "rate=" + std::to_string(run.spsSel) + '\n';
    text += std::string("filter=") + (run.fSinc5 ? "sinc5" : "sinc3") + '\n';
    text += "channels=" + std::to_string(run.CHSel) + '\n';
    text += "count=" + std::to_string(setup.run.count) + '\n';
    text += std::string("trigger=") + (setup.fBusTrigger ? "bus" : "imm") + '\n';
    text += "nplc=" + Number(setup.aperture.lineCycles) + '\n';
    text += "line=" + std::to_string(setup.aperture.lineHz) + '\n';
    for (std::size_t channel = 0; channel < setup.math.size(); ++channel) {
        const ReadingMath& math = setup.math[channel];
        const std::string prefix = "ch" + std::to_string(channel) + '.';
        text += prefix + "null=" + (math.null.fOn ? "1," : "0,") + Number(math.null.volts) + '\n';
        text += prefix + "scale=" + (math.scale.fOn ? "1," : "0,") + Number(math.scale.gain) + ',' +
                Number(math.scale.offset) + '\n';
        text += prefix + "unit=" + math.scale.unit + '\n';
        text += prefix + "limit=" + (math.limit.fOn ? "1," : "0,") + Number(math.limit.lower) +
                ',' + Number(math.limit.upper) + '\n';
    }
    return text;
}

std::optional<ScpiSetup> ScpiSetupStore::Parse(std::string_view text) {
    if (!text.starts_with(std::string(kFirstLine) + '\n') || !text.ends_with('\n')) {
        return std::nullopt;
    }
    text.remove_prefix(kFirstLine.size() + 1);
    std::map<std::string, std::string, std::less<>> lines;
    while (!text.empty()) {
        const std::string_view line = text.substr(0, text.find('\n'));
        text.remove_prefix(line.size() + 1);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos ||
            !lines.emplace(line.substr(0, equals), line.substr(equals + 1)).second) {
            return std::nullopt;
        }
    }
    ScpiSetup setup;
    const std::string_view keys[] = {"rate",    "filter", "channels", "count",
                                     "trigger", "nplc",   "line"};
    constexpr std::size_t kPerChannel = 4;
    if (lines.size() != std::size(keys) + kPerChannel * setup.math.size()) {
        return std::nullopt;
    }
    for (const std::string_view key : keys) {
        if (!lines.contains(key)) {
            return std::nullopt;
        }
    }
    for (std::size_t channel = 0; channel < setup.math.size(); ++channel) {
        const std::string prefix = "ch" + std::to_string(channel) + '.';
        for (const char* key : {"null", "scale", "unit", "limit"}) {
            if (!lines.contains(prefix + key)) {
                return std::nullopt;
            }
        }
        if (!ReadMath(lines, prefix, setup.math[channel])) {
            return std::nullopt;
        }
    }
    return ReadRun(lines, setup) ? std::optional(setup) : std::nullopt;
}

ScpiSetupStore::Result ScpiSetupStore::Save(int index, const ScpiSetup& setup) const {
    const std::string path = PathOf(index);
    std::error_code made;
    std::string reason;
    if (folder.empty()) {
        reason = "状態フォルダがありません（--state-dir で指定してください）";
    } else if (std::filesystem::create_directories(folder, made); made) {
        reason = FileErrorReason(made.value());
    } else if (const FileFailure failure = FileReplacement(path).Write(Text(setup));
               failure.Failed()) {
        reason = failure.Reason();
    } else {
        return Result::Done;
    }
    ServerLog::Say(FileErrorText("設定を保存できませんでした", path, reason));
    return Result::Failed;
}

ScpiSetupStore::Result ScpiSetupStore::Recall(int index, ScpiSetup& setup) const {
    if (folder.empty()) {
        return Result::Empty;  // nothing could have been saved
    }
    const std::string path = PathOf(index);
    const PosixFile file = PosixFile::OpenRegular(path);
    if (!file.IsOpen() && file.Error() == ENOENT) {
        return Result::Empty;
    }
    std::string text(kLongestFile + 1, '\0');
    const PosixFile::Transfer read =
        file.IsOpen() ? file.ReadAll(text) : PosixFile::Transfer{0, file.Error()};
    text.resize(read.done);
    std::optional<ScpiSetup> recalled;
    if (read.error != 0) {
        ServerLog::Say(FileErrorText("設定を読めませんでした", path, FileErrorReason(read.error)));
    } else if (!(recalled = Parse(text))) {
        ServerLog::Say(
            FileErrorText("設定を読めませんでした", path, "設定のファイルではありません"));
    } else {
        setup = *recalled;
        return Result::Done;
    }
    return Result::Failed;
}
