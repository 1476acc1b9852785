// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <span>

// The options of selkoran-cli's commands in the order the help lists them: each option's name,
// whether it takes a value, the commands that take it and what it does for them. An option that
// means something else to some commands (the board's --rate, a table's --rate) has a row for
// each meaning; a row without a name is a note under its commands' options.
namespace OptionTable {

struct Row {
    const char* name;
    bool fValue;
    const char* commands;  // their names, separated by spaces
    const char* label;
    const char* text;
    bool fRepeatable = false;  // may be given more than once
};

std::span<const Row> Rows();
// The row is for `command`.
bool Serves(const Row& row, const QString& command);
// The first row of the option `name` (without "--"); nullptr when no command takes it.
const Row* Find(const QString& name);
// `command` takes the option `name`.
bool Takes(const QString& command, const QString& name);

}  // namespace OptionTable
