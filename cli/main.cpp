// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-cli: identify the board, measure, inspect data files and analyse their noise from the
// command line.

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/CliCommands.h"
#include "cli/CliHelp.h"
#include "cli/CliOptions.h"

namespace {

QtMessageHandler qtHandler = nullptr;

// Standard error carries the tool's own messages. Qt's debug notes and warnings (a missing
// runtime folder, font and platform details) say nothing the user can act on; its critical
// and fatal messages still show.
void QtMessagesForTheUser(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        qtHandler(type, context, text);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    qtHandler = qInstallMessageHandler(QtMessagesForTheUser);
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    CliOptions options;
    QString error;
    // The help and the pointer to it are the named command's, where one is named.
    const std::optional<CliOptions::Command> command =
        arguments.isEmpty() ? std::nullopt : CliOptions::CommandNamed(arguments.first());
    switch (CliOptions::Parse(arguments, options, error)) {
        case CliOptions::ParseResult::Help:
            std::fputs(CliHelp::Text(command).toUtf8().constData(), stdout);
            return CliCommands::kExitOk;
        case CliOptions::ParseResult::Version:
            std::puts("selkoran-cli " SELKORAN_VERSION);
            return CliCommands::kExitOk;
        case CliOptions::ParseResult::Bad:
            std::fprintf(stderr, "%s\n%s\n", error.toUtf8().constData(),
                         CliHelp::Pointer(command).toUtf8().constData());
            return CliCommands::kExitUsage;
        case CliOptions::ParseResult::Ok:
            break;
    }
    // Only the picture needs the widgets; it is drawn off-screen unless a platform is named.
    std::unique_ptr<QCoreApplication> app;
    if (options.WantsPicture()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    return CliCommands(options).Run();
}
