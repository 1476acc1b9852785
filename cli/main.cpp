// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-cli: identify the board, measure, inspect data files and analyse their noise from the
// command line.

#include <QApplication>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <memory>

#include "cli/CliExit.h"
#include "cli/CommandTable.h"

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
    // The help is the named command's, where one is named.
    const QString name = arguments.isEmpty() ? QString() : arguments.first();
    if (arguments.contains("--help") || arguments.contains("-h")) {
        std::fputs(CommandTable::Help(name).toUtf8().constData(), stdout);
        return CliExit::kOk;
    }
    if (arguments.contains("--version")) {
        std::puts("selkoran-cli " SELKORAN_VERSION);
        return CliExit::kOk;
    }
    const CommandTable::Row* row = CommandTable::Named(name);
    if (row == nullptr) {
        return CliExit::UsageError(
            name.isEmpty() || name.startsWith('-')
                ? QStringLiteral("コマンドを指定してください（info、measure、show、analyze、"
                                 "record、serve、monitor、convert）")
                : QStringLiteral("不明なコマンドです：") + name,
            {});
    }
    QString error;
    const std::unique_ptr<CliCommand> command = row->make(arguments.mid(1), error);
    if (!command) {
        return CliExit::UsageError(error, name);
    }
    // Only the picture needs the widgets; it is drawn off-screen unless a platform is named.
    std::unique_ptr<QCoreApplication> app;
    if (command->WantsPicture()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // Past a file size limit a write then fails like a full disk, with the reason told,
    // instead of the signal ending the program before the figures are printed.
    std::signal(SIGXFSZ, SIG_IGN);
    return command->Run();
}
