// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <span>

#include "cli/CliCommand.h"

// The commands of selkoran-cli in the order the help lists them, each with its name, its usage
// lines and what it does, and how it is made; main() runs the one named first on the command
// line. The help is made from this table and the option table: `COMMAND --help` gives that
// command's usage lines, what it does and the options it takes; `--help` alone the overview of
// every command and option (the manual page is made from it).
namespace CommandTable {

struct Row {
    const char* name;
    const char* usage;    // the lines after "selkoran-cli NAME"
    const char* summary;  // what it does
    CliCommand::Make make;
};

// Each command's row, in the command's file.
extern const Row kInfo, kMeasure, kShow, kAnalyze, kRecord, kServe, kMonitor, kConvert;

std::span<const Row* const> Rows();
// The command of that name; nullptr for none.
const Row* Named(const QString& name);
// The help of the command named `command`; the overview when no command has that name.
QString Help(const QString& command);

}  // namespace CommandTable
