// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/IntervalFile.h"

#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <fstream>

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

IntervalFile::Problem IntervalFile::Prepare() {
    std::error_code error;
    const bool fExists = std::filesystem::exists(path, error);
    if (mode == Mode::New && fExists) {
        problem = Problem::Exists;
    } else if (mode == Mode::Continue && fExists) {
        problem = ReadExisting();
    } else {
        problem = Problem::None;
    }
    return problem;
}

// The column line first (after comment lines), then rows that begin with their number; a
// last line without its line end (cut by a crash) is left out and cut off when the file opens.
IntervalFile::Problem IntervalFile::ReadExisting() {
    // A regular file only, looked at before the stream opens it: the stream would wait on a pipe
    // for a writer, and the monitor would never start.
    if (!PosixFile::OpenRegular(path).IsOpen()) {
        return Problem::Failed;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Problem::Failed;
    }
    std::string line;
    while (std::getline(in, line) && !in.eof()) {
        if (!line.starts_with('#') && !TakeLine(line)) {
            return Problem::NotIntervals;
        }
        wholeLines += line.size() + 1;
    }
    return in.bad() ? Problem::Failed : Problem::None;
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
            problem = Problem::Failed;
        } else if (!file.Continue(path, now)) {
            problem = Problem::Failed;
        }
        return problem == Problem::None;
    }
    switch (file.Create(path, mode == Mode::Replace, now)) {
        case RecordingFile::CreateResult::Ok:
            return true;
        case RecordingFile::CreateResult::Exists:
            problem = Problem::Exists;
            return false;
        case RecordingFile::CreateResult::Failed:
            break;
    }
    problem = Problem::Failed;
    return false;
}

void IntervalFile::Discard() {
    if (mode == Mode::Continue) {
        file.Finish();
    } else {
        file.Discard();
    }
}

bool IntervalFile::Begin(const AcquisitionInfo& run) {
    const RecordingHeader header{
        run.boardName,      run.boardVersion,    run.settings.spsSel,
        run.settings.CHSel, run.settings.fSinc5, run.Endless() ? 0 : run.count,
        run.start};
    std::string text = RecordingFormat::CommentText(header) +
                       "# interval:" + IntervalFormat::NumberText(intervalSeconds) + '\n';
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
