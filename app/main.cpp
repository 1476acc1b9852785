// SPDX-License-Identifier: GPL-3.0-or-later
// SELKORAN: one copy per user session, one window, the board chosen on the command line.

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/Program.h"
#include "app/ProgramStart.h"
#include "app/QtPrompts.h"
#include "app/QtTranslation.h"
#include "app/SingleInstance.h"
#include "app/WindowCommandLine.h"
#include "link/driver/DeviceChoice.h"

namespace {

const QString kProgramName = QStringLiteral("SELKORAN");

// Tests run several copies side by side; each group names its own instance.
QString InstanceKey() {
    const QString key = qEnvironmentVariable("SELKORAN_INSTANCE");
    return key.isEmpty() ? kProgramName : key;
}

QStringList Arguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

std::unique_ptr<FifoDriver> ChosenDevice(const QCommandLineParser& parser) {
    std::string error;
    std::unique_ptr<FifoDriver> driver = ChooseDevice(parser.value("device").toStdString(), &error);
    if (!driver) {
        std::fprintf(stderr, "selkoran: %s\n", error.c_str());
    }
    return driver;
}

void BringForward(TFormMain& window) {
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.showNormal();
    window.raise();
    window.activateWindow();
}

int RunWindow(FifoDriver& driver, QtPrompts& prompts) {
    SingleInstance instance(InstanceKey());
    if (!instance.TryLock()) {
        if (instance.ConnectToFirst()) {
            prompts.ShowMessage(kProgramName.toStdString(), "SELKORAN はすでに起動しています",
                                PromptIcon::Error);
            instance.AskFirstToShow();
        }
        return 1;
    }
    Program program(driver, prompts);
    if (!program.Constructed()) {
        return 1;
    }
    TFormMain& window = program.Window();
    if (!instance.Listen([&window] { BringForward(window); })) {
        std::fprintf(stderr,
                     "selkoran: %s を開けませんでした。このまま起動しますが、二つ目の起動は"
                     "この画面を前に出せません\n",
                     qPrintable(SingleInstance::SocketPath(InstanceKey())));
    }
    window.show();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(kProgramName);
    QCoreApplication::setApplicationVersion(SELKORAN_VERSION);
    // Lets the desktop match the window to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("selkoran"));
    // The options are read before the display is opened, so that they work without one. A
    // line the parser does not know may carry Qt's own options (-platform, -style): it is
    // read again once the application object has taken those.
    QCommandLineParser early;
    WindowCommandLine::AddOptions(early);
    std::unique_ptr<FifoDriver> driver;
    if (early.parse(Arguments(argc, argv))) {
        if (const std::optional<int> exitCode = WindowCommandLine::AnswerHelpOrVersion(early)) {
            return *exitCode;
        }
        driver = ChosenDevice(early);
        if (!driver) {
            return 2;
        }
    }
    const std::unique_ptr<QApplication> app = StartApplicationOrExit(argc, argv);
    if (!driver) {
        QCommandLineParser late;
        WindowCommandLine::AddOptions(late);
        if (!late.parse(QApplication::arguments())) {
            std::fputs(
                WindowCommandLine::ErrorText(late, QApplication::arguments()).toUtf8().constData(),
                stderr);
            return 2;
        }
        if (const std::optional<int> exitCode = WindowCommandLine::AnswerHelpOrVersion(late)) {
            return *exitCode;
        }
        driver = ChosenDevice(late);
        if (!driver) {
            return 2;
        }
    }
    if (!QtTranslation::Install(*app)) {
        std::fprintf(stderr,
                     "selkoran: Qt の日本語訳 (qt6-translations-l10n) が見つかりません。"
                     "ファイルの選択画面などのボタンは英語で表示されます\n");
    }
    QtPrompts prompts;
    return RunGuarded(prompts, [&] { return RunWindow(*driver, prompts); });
}
