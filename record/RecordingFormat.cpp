// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingFormat.h"

#include <charconv>
#include <cstdio>
#include <ctime>

#include "common/SampleRates.h"

namespace RecordingFormat {

namespace {

std::string CommentLine(std::string_view key, std::string_view value) {
    return "# " + std::string(key) + ':' + std::string(value) + '\n';
}

std::string RateText(double samplesPerSecond) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, samplesPerSecond);
    return std::string(text, result.ptr);
}

}  // namespace

RecordingHeader HeaderOf(const AcquisitionInfo& run) {
    return {run.boardName,      run.boardVersion,    run.settings.spsSel,
            run.settings.CHSel, run.settings.fSinc5, run.Endless() ? 0 : run.count,
            run.start};
}

std::vector<int> ChannelsOf(int chSel) {
    if (chSel == 2) {
        return {0, 1};
    }
    return {chSel};
}

std::string ColumnLine(std::span<const int> channels) {
    std::string text = "sample";
    for (const int channel : channels) {
        const std::string prefix = ",ch" + std::to_string(channel);
        text += prefix + "_code" + prefix + "_microvolts";
    }
    return text + '\n';
}

std::string HeaderText(const RecordingHeader& header) {
    return CommentText(header) + ColumnLine(ChannelsOf(header.chSel));
}

// A table made from a data file knows neither the board nor when its run started: those
// lines are left out rather than made up.
std::string CommentText(const RecordingHeader& header) {
    const double rate = SampleRates::SamplesPerSecond(header.spsSel, header.fSinc5);
    const bool fBoard = !header.boardName.empty();
    const bool fStart = header.start != std::chrono::system_clock::time_point();
    return (fBoard ? CommentLine(kBoardKey, header.boardName + " / " + header.boardVersion) : "") +
           CommentLine(kRateKey, std::to_string(header.spsSel)) +
           CommentLine(kChannelKey, std::to_string(header.chSel)) +
           CommentLine(kFilterKey, header.fSinc5 ? "1" : "0") +
           CommentLine(kSampleRateKey, RateText(rate)) +
           CommentLine(kCountKey, std::to_string(header.count)) +
           (fStart ? CommentLine(kStartKey, IsoTime(header.start)) : "");
}

char* AppendRow(char* dst, std::int64_t sample, std::span<const Cell> cells) {
    char* const end = dst + kMaxRowLength;
    dst = std::to_chars(dst, end, sample).ptr;
    for (const Cell& cell : cells) {
        *dst++ = ',';
        dst = std::to_chars(dst, end, cell.code).ptr;
        *dst++ = ',';
        dst = std::to_chars(dst, end, cell.microvolts, std::chars_format::fixed).ptr;
    }
    *dst++ = '\n';
    return dst;
}

std::string RestartLine(std::chrono::system_clock::time_point time, std::int64_t sample) {
    return "# " + std::string(kRestartKey) + ':' + IsoTime(time) + ' ' + std::string(kSampleKey) +
           ':' + std::to_string(sample) + '\n';
}

std::string EndLine(std::chrono::system_clock::time_point time, std::int64_t samples,
                    std::string_view outcome) {
    return "# " + std::string(kEndKey) + ':' + IsoTime(time) + ' ' + std::string(kSamplesKey) +
           ':' + std::to_string(samples) + ' ' + std::string(kOutcomeKey) + ':' +
           std::string(outcome) + '\n';
}

std::string IsoTime(std::chrono::system_clock::time_point time) {
    const auto milliseconds =
        std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03dZ", static_cast<int>(milliseconds % 1000));
    return std::string(text, length) + fraction;
}

}  // namespace RecordingFormat
