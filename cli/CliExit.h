// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "measure/AcquisitionSink.h"

struct FileFailure;
class TmyMessage;

// How every command of selkoran-cli ends: its exit code, its lines on standard output, its
// errors on standard error, and a usage error with the line pointing to the command's help.
namespace CliExit {

constexpr int kOk = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

// The window's texts for a failed save and a data file it cannot take, which the command line
// follows with the file and the reason.
extern const QString kSaveFailedText;
extern const QString kBadDataFileText;

void PrintLine(const QString& text);
void PrintError(const QString& text);
// The refusal of an existing output file without --force.
QString ExistingFileText(const QString& fileName);
// `text`, the file and why: "TEXT：FILE（REASON）".
QString FileFailureText(const QString& text, const QString& fileName, const FileFailure& failure);
// What a recording or a monitor says when its run was stopped, timed out or could not read the
// board; nothing for the other outcomes, whose words depend on the command.
void PrintRunEnd(TmyMessage& messages, AcquisitionOutcome outcome);
// Prints `error` and "詳しくは selkoran-cli COMMAND --help を見てください" (the overview's help
// without a command); kUsage.
int UsageError(const QString& error, const QString& command);

}  // namespace CliExit
