// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>
#include <memory>
#include <optional>

#include "cli/CliOptions.h"
#include "cli/CliOutputs.h"
#include "cli/CliPrompts.h"
#include "cli/CliReport.h"
#include "measure/Acquisition.h"
#include "messages/Mymessage.h"

class AnalysisReport;
class FifoDriver;
struct FileFailure;
class Measurement;

// The commands of selkoran-cli on the window's own code: identification,
// configuration and acquisition through the measurement session, files through the data
// file writer and reader, texts from the message catalogue and the status line.
// `info --device usb:list` lists the FTDI chips instead of a board. `analyze` takes a ".DTA"
// file, a table (a recording, `measure --csv`, `show --csv`; refused unless its "#" lines or
// --rate give the rate) or an HDF5 recording, told apart by their first bytes; --rate on a
// ".DTA" file is a usage error. `convert` copies a recording into the other type. A file that
// cannot be read or written is named with the reason; after Ctrl-C the tool says where the
// samples kept went.
class CliCommands {
public:
    static constexpr int kExitOk = 0;
    static constexpr int kExitFailure = 1;
    static constexpr int kExitUsage = 2;

    explicit CliCommands(const CliOptions& cliOptions);

    // The exit code.
    int Run();

    // The window's text for a failed save.
    static const QString kSaveFailedText;

    // The refusal of an existing output file without --force.
    static QString ExistingFileText(const QString& fileName);
    // `text`, the file and why: "TEXT：FILE（REASON）".
    static QString FileFailureText(const QString& text, const QString& fileName,
                                   const FileFailure& failure);
    static void PrintError(const QString& text);
    // What a recording or a monitor says when its run was stopped, timed out or could not read
    // the board; nothing for the other outcomes, whose words depend on the command.
    static void PrintRunEnd(TmyMessage& messages, AcquisitionOutcome outcome);

private:
    int Info(FifoDriver& driver);
    int ListUsbDevices();
    int Measure(FifoDriver& driver);
    int Show();
    int Analyze();
    int Record(FifoDriver& driver);
    int Convert();

    // The data file named on the command line; a file that cannot be read prints the file
    // and the reason.
    bool LoadDataFile(Measurement& data);

    // Identification, configuration and acquisition, with Ctrl-C as the stop button: how the
    // run ended, or nothing when it left no data to keep (the reason is printed).
    std::optional<AcquisitionOutcome> Acquire(FifoDriver& driver, Measurement& data,
                                              std::optional<CliReport::Board>& board);
    QString StoppedNotice(int count) const;

    // Identification as a start does it; failures print the window's message.
    std::optional<CliReport::Board> Identify(Acquisition& engine);
    // Writes the requested files, then prints the statistics or the JSON object, and the
    // analysis when asked for.
    int Report(Measurement& data, const std::optional<CliReport::Board>& board);
    // Every file asked for; false when one of them was not written (the reason printed).
    bool WriteFiles(Measurement& data, const CliReport& report,
                    const std::optional<CliReport::Board>& board, const AnalysisReport* analysis);
    // The analysis of `data` as asked for; nothing (the reasons printed) when no channel
    // could be analysed.
    std::optional<AnalysisReport> Analyse(const Measurement& data);
    // The analysis of a recording file (its settings keys into `settings`); nothing, the
    // reasons printed, when the file is no recording or no channel could be analysed.
    std::optional<AnalysisReport> AnalyseRecording(const QString& path, QJsonObject& settings);
    // Prints the channels that could not be analysed; nothing when no channel could.
    std::optional<AnalysisReport> Checked(AnalysisReport analysis);
    // The analysis lines, or the JSON object with `extra` keys beside the analysis keys.
    void PrintAnalysis(const AnalysisReport& analysis, const QJsonObject& settings,
                       const QJsonObject& extra);
    // The analysis pictures asked for, of the --channel channel or the first one analysed.
    bool WriteAnalysisPictures(const AnalysisReport& analysis);
    bool SaveDataFile(const Measurement& data);
    // Every file the command writes can be written: checked before anything is measured or read.
    bool OutputsMayBeWritten();

    const CliOptions& options;
    CliPrompts prompts;
    TmyMessage messages;
    CliOutputs outputs;
};
