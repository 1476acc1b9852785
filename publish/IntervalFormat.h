// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "publish/IntervalFigures.h"
#include "publish/LimitAlarm.h"

// The texts of interval statistics: the stats message as JSON or as one InfluxDB line, the
// monitor's meta message, and the CSV of intervals. Numbers are the shortest text that reads
// back as the same double, "." as the decimal point; times ISO 8601 UTC with milliseconds.
namespace IntervalFormat {

// What the retained meta message says about the board and the run.
struct Meta {
    std::string board;
    std::string boardVersion;
    std::string serial;  // the board's USB serial number; empty where unknown
    std::string host;
    double sampleRate = 0.0;
    bool fSinc5 = true;
    std::vector<int> channels;
    double intervalSeconds = 0.0;
    std::string programVersion;
    std::string start;  // when the run's first start command went out, also its "run"
};

// {"run":"...","seq":1,"start":"...","end":"...","n":31250,"mean_uV":...,"std_uV":...,
//  "min_uV":...,"max_uV":...}
std::string StatsJson(const IntervalFigures& figures);
// selkoran,board=ID,ch=0 n=31250i,mean_uV=...,std_uV=...,min_uV=...,max_uV=...,seq=1i <end in ns>
// `board` holds only characters that need no escape in a tag (letters, digits, "._-").
std::string StatsInflux(const IntervalFigures& figures, std::string_view board);
std::string MetaJson(const Meta& meta);
// {"state":"high","value":...,"limit":...,"time":"...","seq":12}: "limit" null for the first
// interval's state when inside.
std::string AlarmJson(const LimitAlarm::Event& event);

// "seq,start,end,channel,n,mean_uV,std_uV,min_uV,max_uV" and its line end.
std::string CsvColumnLine();
// One row with its line end.
std::string CsvRow(const IntervalFigures& figures);
// An alarm as a comment line among the rows, "# alarm:ch0:" and its JSON, with its line end.
std::string CsvAlarmLine(const LimitAlarm::Event& event);

}  // namespace IntervalFormat
