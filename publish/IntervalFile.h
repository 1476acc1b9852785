// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "measure/AcquisitionSink.h"
#include "publish/IntervalFigures.h"
#include "publish/LimitAlarm.h"
#include "record/RecordingFile.h"

// The CSV of intervals, one row per interval and channel, after the comment lines of a
// recording (board, settings, count, start; count 0 for a run without end), "# interval:" and
// the interval's length in seconds, and the column line
// "seq,start,end,channel,n,mean_uV,std_uV,min_uV,max_uV"; a monitor's alarms are comment lines
// among the rows ("# alarm:ch0:{...}"), so readers of the rows skip them as they skip the rest. It
// grows under its final name; each interval's rows are handed to the system at once, and synced
// within 10 s. A continued file must be such a CSV: a last line cut by a crash is cut off, the file
// gets the comment lines of the new run (no second column line), and its rows go on with the file's
// sequence.
class IntervalFile : public AcquisitionSink {
public:
    enum class Mode { New, Replace, Continue };

    IntervalFile(std::string path, Mode mode, std::chrono::duration<double> interval);

    // Before anything is contacted: a new file refuses an existing one; a continued one must
    // be a CSV of intervals (or missing: else WrongKind), whose last interval number it reads.
    FileRefusal Prepare();
    FileRefusal Refused() const { return refusal; }
    // The last interval number of a continued file; 0 for none.
    std::int64_t LastSeq() const { return lastSeq; }

    bool Check() override { return refusal == FileRefusal::None; }
    bool Open(const AcquisitionInfo& run) override;
    void Discard() override;
    bool Begin(const AcquisitionInfo& run) override;
    bool Take(const SampleBlock&) override { return true; }
    bool Tick(Clock::time_point now) override { return file.Tick(now); }
    Clock::time_point NextDeadline() const override { return file.NextDeadline(); }
    bool End(AcquisitionOutcome) override { return file.Finish(); }

    // One interval's rows; false when the file could not be written.
    bool Write(std::span<const IntervalFigures> interval);
    // An alarm's comment line after its interval's rows; false when it could not be written.
    bool WriteAlarm(const LimitAlarm::Event& event);

private:
    FileRefusal ReadExisting();
    // One line that is no comment; false when it does not belong in a CSV of intervals.
    bool TakeLine(const std::string& line);

    std::string path;
    Mode mode;
    double intervalSeconds;
    RecordingFile file;
    FileRefusal refusal = FileRefusal::None;
    std::int64_t lastSeq = 0;
    std::uint64_t wholeLines = 0;  // bytes of a continued file up to its last line end
    bool fHasColumns = false;
};
