// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <optional>

#include "cli/BoardOptions.h"

// The options of `record`: the board's, the length as --count (samples) or --duration, the
// file (CSV or HDF5, by --format or the extension), the time-out without records, and whether
// the recording is analysed afterwards.
struct RecordOptions {
    BoardOptions board;
    std::int64_t count = 0;
    std::optional<std::chrono::duration<double>> duration;
    std::optional<double> timeoutSeconds;
    QString output;
    QString format;  // "csv" or "h5"; none: the output's extension decides
    bool fForce = false;
    bool fCompress = false;  // an HDF5 file with shuffle and gzip
    bool fAnalyze = false;
    bool fJson = false;

    // `arguments`: those after the command's name. False, with the reason in `error`, for a
    // usage error.
    bool Parse(const QStringList& arguments, QString& error);
    // The samples asked for, from --count or --duration at the chosen rate.
    std::int64_t Samples() const;
    bool WritesHdf5() const;

    // --compress only where the file is an HDF5 file; false with the reason in `error`.
    static bool CompressionFits(bool fCompress, bool fHdf5, QString& error);
};
