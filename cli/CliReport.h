// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "cli/OptionReader.h"

class Acquisition;
class AnalysisReport;
class CliOutputs;
class Measurement;
class ReadingReport;
class TmyMessage;

// --csv, --png, --volt and --json: how measure and show give a measurement.
struct ReportOptions {
    QString csvFile;
    QString pngFile;
    bool fVolt = false;
    bool fJson = false;

    // `own` and the four options.
    OptionReader::Options With(OptionReader::Options own);
};

// What the command line prints and exports about one measurement: the settings lines, one
// statistics line per channel with data (the status bar's text), the JSON object and the
// CSV table. Numbers never depend on the locale.
class CliReport {
public:
    struct Board {
        QString name;
        QString version;
    };

    CliReport(Measurement& measurement, bool fVoltMode);

    // The board as a start identifies it; nothing, the window's message printed, when it
    // does not answer as the board.
    static std::optional<Board> Identify(Acquisition& engine, TmyMessage& messages);
    // The data file at `path`; false, the file and the reason printed, when it cannot be read.
    static bool Load(const QString& path, Measurement& data);

    // The six settings as the data file's settings lines ("spsSel:3", ...).
    QStringList SettingsLines() const;
    QStringList StatisticsLines() const;
    // One object: board (when given), settings, channels; with an analysis also the sample
    // rate, and each analysed channel's object carries the analysis keys too; with readings
    // their settings, and each channel's object its readings.
    QByteArray Json(const std::optional<Board>& board, const AnalysisReport* analysis = nullptr,
                    const ReadingReport* readings = nullptr) const;
    // The six settings, numbers and booleans.
    QJsonObject SettingsJson() const;
    // The table of a recording: its "#" lines (the board and the start time when known, the
    // settings, the sample rate, the count), the column line, then per sample its number
    // (from 1) and, per channel of the settings, the code and the microvolts.
    QByteArray Csv(const std::optional<Board>& board) const;

    // The table and the graph `options` name, each written on its own, the graph captioned
    // with the data file at `sourcePath` (empty: data just measured); false when one was not.
    bool WriteFiles(CliOutputs& outputs, const ReportOptions& options,
                    const std::optional<Board>& board, const QString& sourcePath) const;
    // The JSON object, or the settings lines (with fSettings), the statistics lines (the
    // readings' lines instead where given) and the analysis lines.
    void Print(bool fJson, bool fSettings, const std::optional<Board>& board,
               const AnalysisReport* analysis, const ReadingReport* readings = nullptr) const;

private:
    Measurement& data;
    bool fVolt;
};
