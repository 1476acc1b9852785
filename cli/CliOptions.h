// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <optional>

#include "cli/MonitorOptions.h"
#include "common/MeasureSettings.h"
#include "measure/BoardSession.h"

// The command line of selkoran-cli: one command (info, measure, show, analyze, record, serve,
// monitor, convert) and its options. Defaults are the window's start-up settings.
struct CliOptions {
    enum class Command { Info, Measure, Show, Analyze, Record, Serve, Monitor, Convert };
    enum class ParseResult { Ok, Help, Version, Bad };

    Command command = Command::Info;
    QString device = QStringLiteral("usb:0");
    BoardSession::RunRequest request;  // filter, rate, channel and count of a measurement
    std::int32_t DataCountSel = 3;     // index of request.count among the selectable counts
    // --rate: measure, record: the board's rate, request.spsSel its index for the filter;
    // analyze: the rate of the data, over what the file says
    std::optional<double> samplesPerSecond;
    QString dataFile;  // show, analyze, convert: the file to read
    QString output;    // measure: the ".DTA" file to write; record, convert: the recording
    QString csvFile;   // measure, show: the table of samples; monitor: the CSV of intervals
    QString pngFile;
    std::optional<int> analysisChannel;  // analyze: the one channel to analyse
    QString histogramFile;               // analysis pictures
    QString spectrumFile;
    QString allanFile;
    bool fForce = false;
    bool fVolt = false;
    bool fJson = false;
    bool fAnalyze = false;  // measure, record: analyse what was measured
    // record: --count (samples), or --duration, turned into samples at the rate (also monitor's)
    std::int64_t recordCount = 0;
    std::optional<std::chrono::duration<double>> recordDuration;
    std::optional<double> timeoutSeconds;  // record: no record for this long ends it
    QString format;          // record: "csv" or "h5"; none: the output's extension decides
    bool fCompress = false;  // record, convert: an HDF5 file with shuffle and gzip
    // serve: where it listens (0: any free port), which peers it accepts (empty: all), whether
    // it is announced on the network, and whether each connection is logged
    QString listen = QStringLiteral("127.0.0.1");
    std::uint16_t port = 5025;
    QString allow;
    bool fNoAnnounce = false;
    bool fQuiet = false;
    MonitorOptions monitor;

    // `arguments` without the program name. Bad: `error` says why. --rate (samples per
    // second) is matched to the chosen filter's rates once every option is read, so --rate and
    // --filter may come in either order.
    static ParseResult Parse(const QStringList& arguments, CliOptions& options, QString& error);
    // The command of that name, as the command line writes it.
    static std::optional<Command> CommandNamed(const QString& name);
    static QString NameOf(Command command);
    // `command` takes the option `option` (its name without "--").
    static bool Takes(Command command, const QString& option);

    // The settings a measurement with these options records.
    MeasureSettings Settings() const;
    bool WantsPicture() const;
    bool WantsAnalysis() const;
    // record: the samples asked for, from --count or --duration at the chosen rate.
    std::int64_t RecordSamples() const;
    // record, convert: the output is an HDF5 file.
    bool WritesHdf5() const;
};
