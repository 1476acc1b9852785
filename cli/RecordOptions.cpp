// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RecordOptions.h"

#include <cmath>

#include "measure/Acquisition.h"
#include "record/RecordingSink.h"

namespace {

// A recording's count: any number of samples one start command can ask for.
bool ParseCount(const QString& text, std::int64_t& count, QString& error) {
    bool fOk = false;
    const qlonglong number = text.toLongLong(&fOk, 10);
    if (!fOk || number < 1 || number > Acquisition::kMaxStartCount || text.trimmed() != text) {
        error = QStringLiteral(
                    "--count %1 は記録できません。記録できるデータ数：1 から %2 まで（それより長い"
                    "記録は --duration で指定してください）")
                    .arg(text)
                    .arg(Acquisition::kMaxStartCount);
        return false;
    }
    count = number;
    return true;
}

bool ParseSeconds(const QString& text, std::optional<double>& seconds) {
    bool fOk = false;
    const double value = text.toDouble(&fOk);
    if (!fOk || !(value > 0.0) || !std::isfinite(value) || text.trimmed() != text) {
        return false;
    }
    seconds = value;
    return true;
}

}  // namespace

bool RecordOptions::Parse(const QStringList& arguments, QString& error) {
    const OptionReader::Options own = {
        {"count", [this](const QString& value,
                         QString& reason) { return ParseCount(value, count, reason); }},
        {"duration", OptionReader::Duration(duration)},
        {"timeout",
         [this](const QString& value, QString&) { return ParseSeconds(value, timeoutSeconds); }},
        {"output", OptionReader::Text(output)},
        {"format",
         [this](const QString& value, QString&) {
             format = value;
             return value == "csv" || value == "h5";
         }},
        {"force", OptionReader::Flag(fForce)},
        {"compress", OptionReader::Flag(fCompress)},
        {"analyze", OptionReader::Flag(fAnalyze)},
        {"json", OptionReader::Flag(fJson)}};
    if (!OptionReader::Read("record", arguments, 0, board.With(own), error) ||
        !board.ResolveRate(error)) {
        return false;
    }
    // A recording needs its length, one way only, and its file.
    if ((count > 0) == duration.has_value()) {
        error =
            QStringLiteral("record には --count か --duration のどちらか一つを指定してください");
        return false;
    }
    if (output.isEmpty()) {
        error = QStringLiteral("record には --output で CSV か HDF5 のファイルを指定してください");
        return false;
    }
    return CompressionFits(fCompress, WritesHdf5(), error);
}

std::int64_t RecordOptions::Samples() const {
    if (duration) {
        return board.SamplesIn(*duration);
    }
    return count;
}

bool RecordOptions::WritesHdf5() const {
    if (!format.isEmpty()) {
        return format == "h5";
    }
    return RecordingSink::TypeOf(output.toStdString()) == RecordingSink::Type::Hdf5;
}

bool RecordOptions::CompressionFits(bool fCompress, bool fHdf5, QString& error) {
    if (fCompress && !fHdf5) {
        error = QStringLiteral("--compress は HDF5 のファイルを書くときだけ使えます");
        return false;
    }
    return true;
}
