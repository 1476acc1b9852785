// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingConverter.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "common/Codes.h"
#include "common/FileError.h"
#include "common/PosixFile.h"
#include "record/CsvDescription.h"
#include "record/Hdf5RecordingReader.h"
#include "record/Hdf5RecordingSink.h"
#include "record/RecordingFile.h"

namespace {

using Result = RecordingConverter::Result;

// What a conversion reads: the description, the channels, and every code in stretches (false
// with the reason in the input's failure when the codes are no recording's).
struct Source {
    RecordingDescription description;
    std::vector<int> channels;
    std::optional<std::int64_t> endSamples;  // what a CSV's end line counts
    std::function<bool(const RecordingReader::Sink&)> readAll;
};

// The samples an output has taken, and whether its writes failed.
struct Progress {
    std::int64_t rows = 0;
    bool fWriteFailed = false;
    int error = 0;  // why the output failed (an errno value)
};

bool WriteHdf5(const Source& source, const std::string& path, bool fCompress, Progress& progress) {
    const RecordingDescription& d = source.description;
    AcquisitionInfo run;
    run.settings.spsSel = d.header.spsSel;
    run.settings.CHSel = d.header.chSel;
    run.settings.fSinc5 = d.header.fSinc5;
    run.count = d.header.count;
    run.boardName = d.header.boardName;
    run.boardVersion = d.header.boardVersion;
    run.start = d.header.start;
    run.serial = d.serial;
    Hdf5RecordingSink sink({path, true, fCompress});
    if (!sink.Open(run) || !sink.Begin(run)) {
        progress.fWriteFailed = true;
        progress.error = sink.FileError();
        return false;
    }
    for (const RecordingDescription::Restart& restart : d.restarts) {
        sink.Restart(restart.firstSample, restart.time);
    }
    const bool fRead =
        source.readAll([&](std::span<const std::int32_t> ch0, std::span<const std::int32_t> ch1) {
            const SampleBlock block{progress.rows, ch0, ch1, {}};
            progress.rows += static_cast<std::int64_t>(block.Size());
            progress.fWriteFailed = !sink.Take(block);
            return !progress.fWriteFailed;
        });
    progress.fWriteFailed = !sink.Close(d.end) || progress.fWriteFailed;
    progress.error = sink.FileError();
    return fRead && !progress.fWriteFailed;
}

bool WriteCsv(const Source& source, const std::string& path, Progress& progress) {
    const RecordingDescription& d = source.description;
    const auto now = RecordingFile::Clock::now();
    RecordingFile file;
    if (file.Create(path, true, now) != FileRefusal::None ||
        !file.Append(RecordingFormat::HeaderText(d.header), now)) {
        progress.fWriteFailed = true;
        progress.error = file.Error();
        return false;
    }
    std::size_t nextRestart = 0;
    std::string text;
    // Restart lines go before the first row of their start command.
    const auto restartsUpTo = [&](std::int64_t sample) {
        for (; nextRestart < d.restarts.size() && d.restarts[nextRestart].firstSample <= sample;
             ++nextRestart) {
            const RecordingDescription::Restart& restart = d.restarts[nextRestart];
            text += RecordingFormat::RestartLine(restart.time, restart.firstSample + 1);
        }
    };
    const bool fRead = source.readAll([&](std::span<const std::int32_t> ch0,
                                          std::span<const std::int32_t> ch1) {
        const std::span<const std::int32_t> columns[2] = {ch0, ch1};
        text.clear();
        char row[RecordingFormat::kMaxRowLength];
        for (std::size_t i = 0; i < std::max(ch0.size(), ch1.size()); ++i) {
            restartsUpTo(progress.rows);
            RecordingFormat::Cell cells[2];
            std::size_t n = 0;
            for (const int channel : source.channels) {
                const std::int32_t code = columns[channel][i];
                cells[n++] = {code, CodeToMicrovolts(code, 1)};
            }
            text.append(row, RecordingFormat::AppendRow(row, ++progress.rows, std::span(cells, n)));
        }
        progress.fWriteFailed = !file.Append(text, now);
        return !progress.fWriteFailed;
    });
    text.clear();
    restartsUpTo(progress.rows);
    if (d.end) {
        text += RecordingFormat::EndLine(d.end->time, progress.rows,
                                         RecordingDescription::OutcomeWord(d.end->outcome));
    }
    progress.fWriteFailed = progress.fWriteFailed || !file.Append(text, now) || !file.Finish();
    progress.error = file.Error();
    return fRead && !progress.fWriteFailed;
}

// The input's description and codes; InputBad with the reason when it is no recording.
Result OpenSource(const std::string& path, Hdf5RecordingReader& hdf5, Source& source,
                  std::string* reason) {
    if (::access(path.c_str(), R_OK) != 0) {
        *reason = FileErrorReason(errno);
        return Result::InputBad;
    }
    if (Hdf5RecordingReader::IsHdf5(path)) {
        if (!hdf5.Open(path)) {
            *reason = hdf5.Reason();
            return Result::InputBad;
        }
        source.description = hdf5.Description();
        source.channels = hdf5.Channels();
        source.readAll = [&hdf5, reason](const RecordingReader::Sink& sink) {
            const bool fRead = hdf5.ReadAll(sink);
            *reason = hdf5.Reason();
            return fRead;
        };
        return Result::Done;
    }
    CsvDescription::Notes notes;
    if (!RecordingReader::IsTable(path) || !CsvDescription::Read(path, notes, reason)) {
        if (reason->empty()) {
            *reason = "記録のファイルではありません";
        }
        return Result::InputBad;
    }
    source.description = notes.description;
    source.channels = RecordingFormat::ChannelsOf(notes.description.header.chSel);
    if (notes.description.end) {
        source.endSamples = notes.endSamples;
    }
    source.readAll = [path, &source, reason](const RecordingReader::Sink& sink) {
        RecordingReader::Contents contents;
        if (!RecordingReader::Read(path, contents, sink)) {
            *reason = "データの行が正しくありません";
            return false;
        }
        if (contents.channels != source.channels) {
            *reason = "列が見出しの CHSel と合いません";
            return false;
        }
        return true;
    };
    return Result::Done;
}

// What the input says of itself agrees with its rows.
bool Consistent(const Source& source, std::int64_t rows, std::string* reason) {
    const auto& restarts = source.description.restarts;
    if (!restarts.empty() && restarts.back().firstSample > rows) {
        *reason = "再開の行が最後のデータより後にあります";
        return false;
    }
    if (source.endSamples && *source.endSamples != rows) {
        *reason = "終わりの行のデータ数が行の数と合いません";
        return false;
    }
    return true;
}

// The finished output takes its name; an existing file only when it may be replaced.
Result Publish(const std::string& temporary, const std::string& output, bool fOverwrite,
               std::string* reason) {
    const int status = fOverwrite ? ::rename(temporary.c_str(), output.c_str())
                                  : ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD,
                                                output.c_str(), RENAME_NOREPLACE);
    if (status != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        *reason = FileErrorReason(error);
        return error == EEXIST ? Result::OutputExists : Result::OutputFailed;
    }
    PosixFile::SyncFolderOf(output);
    return Result::Done;
}

}  // namespace

RecordingConverter::Result RecordingConverter::Convert(const Request& request,
                                                       std::string* reason) {
    reason->clear();
    std::error_code error;
    if (!request.fOverwrite && std::filesystem::symlink_status(request.output, error).type() !=
                                   std::filesystem::file_type::not_found) {
        return Result::OutputExists;
    }
    Hdf5RecordingReader hdf5;
    Source source;
    if (const Result opened = OpenSource(request.input, hdf5, source, reason);
        opened != Result::Done) {
        return opened;
    }
    const std::string temporary = request.output + ".converting-" + std::to_string(::getpid());
    Progress progress;
    const bool fHdf5 = RecordingSink::TypeOf(request.output) == RecordingSink::Type::Hdf5;
    const bool fWritten = fHdf5 ? WriteHdf5(source, temporary, request.fCompress, progress)
                                : WriteCsv(source, temporary, progress);
    if (!fWritten || !Consistent(source, progress.rows, reason)) {
        ::unlink(temporary.c_str());
        if (!progress.fWriteFailed) {
            return Result::InputBad;
        }
        *reason = FileErrorReason(progress.error != 0 ? progress.error : EIO);
        return Result::OutputFailed;
    }
    return Publish(temporary, request.output, request.fOverwrite, reason);
}
