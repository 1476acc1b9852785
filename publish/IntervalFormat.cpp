// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/IntervalFormat.h"

#include <charconv>
#include <cstdio>

#include "record/RecordingFormat.h"

namespace IntervalFormat {

namespace {

std::string Key(std::string_view key) {
    return JsonString(key) + ':';
}

std::string Time(std::chrono::system_clock::time_point time) {
    return RecordingFormat::IsoTime(time);
}

std::string ChannelList(const std::vector<int>& channels) {
    std::string text = "[";
    for (const int channel : channels) {
        text += (text.size() > 1 ? "," : "") + std::to_string(channel);
    }
    return text + ']';
}

}  // namespace

std::string NumberText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

std::string StatsJson(const IntervalFigures& f) {
    return '{' + Key("run") + JsonString(Time(f.run)) + ',' + Key("seq") + std::to_string(f.seq) +
           ',' + Key("start") + JsonString(Time(f.start)) + ',' + Key("end") +
           JsonString(Time(f.end)) + ',' + Key("n") + std::to_string(f.n) + ',' + Key("mean_uV") +
           NumberText(f.meanMicrovolts) + ',' + Key("std_uV") + NumberText(f.stdMicrovolts) + ',' +
           Key("min_uV") + NumberText(f.minMicrovolts) + ',' + Key("max_uV") +
           NumberText(f.maxMicrovolts) + '}';
}

std::string StatsInflux(const IntervalFigures& f, std::string_view board) {
    const auto endNanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(f.end.time_since_epoch()).count();
    return "selkoran,board=" + std::string(board) + ",ch=" + std::to_string(f.channel) +
           " n=" + std::to_string(f.n) + "i,mean_uV=" + NumberText(f.meanMicrovolts) +
           ",std_uV=" + NumberText(f.stdMicrovolts) + ",min_uV=" + NumberText(f.minMicrovolts) +
           ",max_uV=" + NumberText(f.maxMicrovolts) + ",seq=" + std::to_string(f.seq) + "i " +
           std::to_string(endNanoseconds);
}

std::string MetaJson(const Meta& m) {
    return '{' + Key("board") + JsonString(m.board) + ',' + Key("board_version") +
           JsonString(m.boardVersion) + ',' + Key("serial") +
           (m.serial.empty() ? std::string("null") : JsonString(m.serial)) + ',' + Key("host") +
           JsonString(m.host) + ',' + Key("sample_rate") + NumberText(m.sampleRate) + ',' +
           Key("filter") + JsonString(m.fSinc5 ? "sinc5" : "sinc3") + ',' + Key("channels") +
           ChannelList(m.channels) + ',' + Key("interval_s") + NumberText(m.intervalSeconds) + ',' +
           Key("program_version") + JsonString(m.programVersion) + ',' + Key("start") +
           JsonString(m.start) + ',' + Key("run") + JsonString(m.start) + '}';
}

std::string AlarmJson(const LimitAlarm::Event& e) {
    return '{' + Key("state") + JsonString(LimitAlarm::StateName(e.state)) + ',' + Key("value") +
           NumberText(e.value) + ',' + Key("limit") +
           (e.limit ? NumberText(*e.limit) : std::string("null")) + ',' + Key("time") +
           JsonString(Time(e.time)) + ',' + Key("seq") + std::to_string(e.seq) + '}';
}

std::string CsvColumnLine() {
    return "seq,start,end,channel,n,mean_uV,std_uV,min_uV,max_uV\n";
}

std::string CsvRow(const IntervalFigures& f) {
    return std::to_string(f.seq) + ',' + Time(f.start) + ',' + Time(f.end) + ',' +
           std::to_string(f.channel) + ',' + std::to_string(f.n) + ',' +
           NumberText(f.meanMicrovolts) + ',' + NumberText(f.stdMicrovolts) + ',' +
           NumberText(f.minMicrovolts) + ',' + NumberText(f.maxMicrovolts) + '\n';
}

std::string CsvAlarmLine(const LimitAlarm::Event& event) {
    return "# alarm:ch" + std::to_string(event.channel) + ':' + AlarmJson(event) + '\n';
}

}  // namespace IntervalFormat
