// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/CsvRecordingSink.h"

#include <filesystem>
#include <string_view>

#include "common/Codes.h"
#include "record/RecordingDescription.h"

namespace {

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() !=
           std::filesystem::file_type::not_found;
}

}  // namespace

bool CsvRecordingSink::Check() {
    refusal = !options.fOverwrite && Exists(options.path) ? FileRefusal::Exists : FileRefusal::None;
    return refusal == FileRefusal::None;
}

bool CsvRecordingSink::Open(const AcquisitionInfo& run) {
    written = 0;
    kept = 0;
    index.Begin(options.path, RecordingFormat::ChannelsOf(run.settings.CHSel));
    refusal = file.Create(options.path, options.fOverwrite, timeNow());
    return refusal == FileRefusal::None;
}

void CsvRecordingSink::Discard() {
    file.Discard();
}

bool CsvRecordingSink::Begin(const AcquisitionInfo& run) {
    gainFactor = run.settings.GainFactor;
    fCh0 = run.Measures(0);
    fCh1 = run.Measures(1);
    return file.Append(RecordingFormat::HeaderText(RecordingFormat::HeaderOf(run)), timeNow());
}

bool CsvRecordingSink::Take(const SampleBlock& block) {
    const auto cellOf = [this](std::int32_t code) {
        return RecordingFormat::Cell{code, CodeToMicrovolts(code, gainFactor)};
    };
    char* end = rowText.data();
    for (std::size_t i = 0; i < block.Size(); ++i) {
        const std::int64_t sample = written + static_cast<std::int64_t>(i);
        if (sample % RecordingIndex::kStride == 0) {
            index.Note(sample, file.Size() + static_cast<std::uint64_t>(end - rowText.data()));
        }
        RecordingFormat::Cell cells[2];
        std::size_t n = 0;
        if (fCh0) {
            cells[n++] = cellOf(block.ch0[i]);
        }
        if (fCh1) {
            cells[n++] = cellOf(block.ch1[i]);
        }
        end = RecordingFormat::AppendRow(end, sample + 1, std::span(cells, n));
    }
    const auto length = static_cast<std::size_t>(end - rowText.data());
    if (!file.Append(std::string_view(rowText.data(), length), block.arrived)) {
        return false;
    }
    written += static_cast<std::int64_t>(block.Size());
    return true;
}

bool CsvRecordingSink::Restart(std::int64_t firstSample,
                               std::chrono::system_clock::time_point time) {
    return file.Append(RecordingFormat::RestartLine(time, firstSample + 1), timeNow());
}

bool CsvRecordingSink::End(AcquisitionOutcome outcome) {
    // The rows first, so that the last line can say how many the file keeps.
    if (!file.Settle(timeNow())) {
        outcome = AcquisitionOutcome::WriteFailed;
    }
    kept = written - file.RowsDropped();
    const std::string endLine = RecordingFormat::EndLine(
        std::chrono::system_clock::now(), kept, RecordingDescription::OutcomeWord(outcome));
    return file.Finish(endLine) && outcome != AcquisitionOutcome::WriteFailed;
}
