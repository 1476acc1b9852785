// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

// The window's command line (--device, --help, --version) in the operator's Japanese, like
// selkoran-cli's: Qt writes its own help and parse errors in English, so both are written here.
namespace WindowCommandLine {

void AddOptions(QCommandLineParser& parser);
// After a successful parse: the help or the version printed and the exit code, where asked.
std::optional<int> AnswerHelpOrVersion(const QCommandLineParser& parser);
// Why the parser refused `arguments` (the program's name first), and where the help is.
QString ErrorText(const QCommandLineParser& parser, const QStringList& arguments);
QString HelpText();

}  // namespace WindowCommandLine
