// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/IntervalFormat.h"

#include "common/JsonText.h"
#include "record/RecordingFormat.h"

namespace IntervalFormat {

namespace {

std::string Key(std::string_view key) {
    return JsonText::Quoted(key) + ':';
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

std::string StatsJson(const IntervalFigures& f) {
    return '{' + Key("run") + JsonText::Quoted(Time(f.run)) + ',' + Key("seq") +
           std::to_string(f.seq) + ',' + Key("start") + JsonText::Quoted(Time(f.start)) + ',' +
           Key("end") + JsonText::Quoted(Time(f.end)) + ',' + Key("n") + std::to_string(f.n) + ',' +
           Key("mean_uV") + JsonText::Number(f.meanMicrovolts) + ',' + Key("std_uV") +
           JsonText::Number(f.stdMicrovolts) + ',' + Key("min_uV") +
           JsonText::Number(f.minMicrovolts) + ',' + Key("max_uV") +
           JsonText::Number(f.maxMicrovolts) + '}';
}

std::string StatsInflux(const IntervalFigures& f, std::string_view board) {
    const auto endNanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(f.end.time_since_epoch()).count();
    return "selkoran,board=" + std::string(board) + ",ch=" + std::to_string(f.channel) +
           " n=" + std::to_string(f.n) + "i,mean_uV=" + JsonText::Number(f.meanMicrovolts) +
           ",std_uV=" + JsonText::Number(f.stdMicrovolts) +
           ",min_uV=" + JsonText::Number(f.minMicrovolts) +
           ",max_uV=" + JsonText::Number(f.maxMicrovolts) + ",seq=" + std::to_string(f.seq) + "i " +
           std::to_string(endNanoseconds);
}

std::string MetaJson(const Meta& m) {
    return '{' + Key("board") + JsonText::Quoted(m.board) + ',' + Key("board_version") +
           JsonText::Quoted(m.boardVersion) + ',' + Key("serial") +
           (m.serial.empty() ? std::string("null") : JsonText::Quoted(m.serial)) + ',' +
           Key("host") + JsonText::Quoted(m.host) + ',' + Key("sample_rate") +
           JsonText::Number(m.sampleRate) + ',' + Key("filter") +
           JsonText::Quoted(m.fSinc5 ? "sinc5" : "sinc3") + ',' + Key("channels") +
           ChannelList(m.channels) + ',' + Key("interval_s") + JsonText::Number(m.intervalSeconds) +
           ',' + Key("program_version") + JsonText::Quoted(m.programVersion) + ',' + Key("start") +
           JsonText::Quoted(m.start) + ',' + Key("run") + JsonText::Quoted(m.start) + '}';
}

std::string AlarmJson(const LimitAlarm::Event& e) {
    return '{' + Key("state") + JsonText::Quoted(LimitAlarm::StateName(e.state)) + ',' +
           Key("value") + JsonText::Number(e.value) + ',' + Key("limit") +
           (e.limit ? JsonText::Number(*e.limit) : std::string("null")) + ',' + Key("time") +
           JsonText::Quoted(Time(e.time)) + ',' + Key("seq") + std::to_string(e.seq) + '}';
}

std::string CsvColumnLine() {
    return "seq,start,end,channel,n,mean_uV,std_uV,min_uV,max_uV\n";
}

std::string CsvRow(const IntervalFigures& f) {
    return std::to_string(f.seq) + ',' + Time(f.start) + ',' + Time(f.end) + ',' +
           std::to_string(f.channel) + ',' + std::to_string(f.n) + ',' +
           JsonText::Number(f.meanMicrovolts) + ',' + JsonText::Number(f.stdMicrovolts) + ',' +
           JsonText::Number(f.minMicrovolts) + ',' + JsonText::Number(f.maxMicrovolts) + '\n';
}

std::string CsvAlarmLine(const LimitAlarm::Event& event) {
    return "# alarm:ch" + std::to_string(event.channel) + ':' + AlarmJson(event) + '\n';
}

}  // namespace IntervalFormat
