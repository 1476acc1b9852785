// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "cli/CliExit.h"
#include "cli/OptionReader.h"

// One command of selkoran-cli, its options read, ready to run. Each command has a file of its
// own (InfoCommand.cpp, MeasureCommand.cpp, ...) with its options, their parser, its run and
// its row of the command table.
class CliCommand {
public:
    // The command with its options read from `arguments` (those after its name); nothing,
    // with the reason in `error`, for a usage error.
    using Make = std::unique_ptr<CliCommand> (*)(const QStringList& arguments, QString& error);

    virtual ~CliCommand() = default;
    // A picture is drawn: the command needs the widgets.
    virtual bool WantsPicture() const { return false; }
    // The exit code.
    virtual int Run() = 0;

    // `Command` made from its `Command::Options`, which Parse() reads.
    template <typename Command>
    static std::unique_ptr<CliCommand> Made(const QStringList& arguments, QString& error) {
        typename Command::Options options;
        if (!options.Parse(arguments, error)) {
            return nullptr;
        }
        return std::make_unique<Command>(std::move(options));
    }
};
