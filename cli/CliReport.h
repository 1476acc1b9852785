// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

class AnalysisReport;
class Measurement;

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

    // The six settings as the data file's settings lines ("spsSel:3", ...).
    QStringList SettingsLines() const;
    QStringList StatisticsLines() const;
    // One object: board (when given), settings, channels; with an analysis also the sample
    // rate, and each analysed channel's object carries the analysis keys too.
    QByteArray Json(const std::optional<Board>& board,
                    const AnalysisReport* analysis = nullptr) const;
    // The six settings, numbers and booleans.
    QJsonObject SettingsJson() const;
    // The table of a recording: its "#" lines (the board and the start time when known, the
    // settings, the sample rate, the count), the column line, then per sample its number
    // (from 1) and, per channel of the settings, the code and the microvolts.
    QByteArray Csv(const std::optional<Board>& board) const;

private:
    Measurement& data;
    bool fVolt;
};
