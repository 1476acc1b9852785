// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/IntervalFile.h"

#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <fstream>

#include "common/JsonText.h"
#include "common/PosixFile.h"
#include "publish/IntervalFormat.h"
#include "record/RecordingFormat.h"

namespace {

// The column line without its line end.
std::string_view Columns() {
    static const std::string line = IntervalFormat::CsvColumnLine();
    return std::string_view(line).substr(0, line.size() - 1);
}

}  // namespace

IntervalFile::IntervalFile(std::string filePath, Mode fileMode,
                           std::chrono::duration<double> interval)
    : path(std::move(filePath)), mode(fileMode), intervalSeconds(interval.count()) {}

FileRefusal IntervalFile::Prepare() {
    std::error_code error;
    const bool fExists = std::filesystem::exists(path, error);
    if (mode == Mode::New && fExists) {
        refusal = FileRefusal::Exists;
    } else if (mode == Mode::Continue && fExists) {
        refusal = ReadExisting();
    } else {
        refusal = FileRefusal::None;
    }
    return refusal;
}

// The column line first (after comment lines), then rows that begin with their number; a
// last line without its line end (cut by a crash) is left out and cut off when the file opens.
FileRefusal IntervalFile::ReadExisting() {
    // A regular file only, looked at before the stream opens it: the stream would wait on a pipe
    // for a writer, and the monitor would never start.
    if (!PosixFile::OpenRegular(path).IsOpen()) {
        return FileRefusal::Failed;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return FileRefusal::Failed;
    }
    std::string line;
    while (std::getline(in, line) && !in.eof()) {
        if (!line.starts_with('#') && !TakeLine(line)) {
            return FileRefusal::WrongKind;
        }
        wholeLines += line.size() + 1;
    }
    return in.bad() ? FileRefusal::Failed : FileRefusal::None;
}

bool IntervalFile::TakeLine(const std::string& line) {
    if (!fHasColumns) {
        fHasColumns = line == Columns();
        return fHasColumns;
    }
    return std::from_chars(line.data(), line.data() + line.size(), lastSeq).ec == std::errc{};
}

bool IntervalFile::Open(const AcquisitionInfo&) {
    const auto now = Clock::now();
    if (mode == Mode::Continue) {
        std::error_code error;
        if (std::filesystem::file_size(path, error) > wholeLines &&
            ::truncate(path.c_str(), static_cast<off_t>(wholeLines)) != 0) {
            refusal = FileRefusal::Failed;
        } else if (!file.Continue(path, now)) {
            refusal = FileRefusal::Failed;
        }
    } else {
        refusal = file.Create(path, mode == Mode::Replace, now);
    }
    return refusal == FileRefusal::None;
}

void IntervalFile::Discard() {
    if (mode == Mode::Continue) {
        file.Finish();
    } else {
        file.Discard();
    }
}

bool IntervalFile::Begin(const AcquisitionInfo& run) {
    std::string text = RecordingFormat::CommentText(RecordingFormat::HeaderOf(run)) +
                       "# interval:" + JsonText::Number(intervalSeconds) + '\n';
    if (!fHasColumns) {
        text += IntervalFormat::CsvColumnLine();
        fHasColumns = true;
    }
    const auto now = Clock::now();
    return file.Append(text, now) && file.Flush();
}

bool IntervalFile::Write(std::span<const IntervalFigures> interval) {
    std::string rows;
    for (const IntervalFigures& figures : interval) {
        rows += IntervalFormat::CsvRow(figures);
    }
    const auto now = Clock::now();
    return file.Append(rows, now) && file.Flush();
}

bool IntervalFile::WriteAlarm(const LimitAlarm::Event& event) {
    const auto now = Clock::now();
    return file.Append(IntervalFormat::CsvAlarmLine(event), now) && file.Flush();
}
