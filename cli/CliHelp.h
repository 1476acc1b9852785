// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

#include "cli/CliOptions.h"

// The help of selkoran-cli, told per command: `COMMAND --help` gives that command's usage
// lines, what it does and the options it takes; `--help` alone the overview of every command
// and option (the manual page is made from it). A usage error prints its cause and the one
// line pointing to the help, so the cause stays on the screen.
namespace CliHelp {

// `command`'s help; without a command, the overview.
QString Text(std::optional<CliOptions::Command> command);
// "詳しくは selkoran-cli measure --help を見てください", or the overview's without a command.
QString Pointer(std::optional<CliOptions::Command> command);
// A rate as the help writes it ("16.63"), the rates of one filter ("1.25、2.5、...、31250")
// and the counts `measure` offers.
QString RateText(double samplesPerSecond);
QString RateList(bool fSinc5);
QString CountList();

}  // namespace CliHelp
