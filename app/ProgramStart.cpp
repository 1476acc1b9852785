// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ProgramStart.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

namespace {

const char* const kNoDisplay =
    "selkoran: 画面に接続できませんでした。デスクトップの中から起動してください\n";
const char* const kUnknownFailure = "予期しないエラーが発生しました";

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

QtMessageHandler previousHandler = nullptr;
std::vector<HeldMessage>* heldMessages = nullptr;

// Qt reports a display it cannot reach as a fatal message, which does not return: this
// handler ends the program itself, before Qt aborts it.
void HoldWhileStarting(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    heldMessages->push_back({type, QByteArray(context.category), text});
}

}  // namespace

void ChooseEventLoop() {
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
    }
}

std::unique_ptr<QApplication> StartApplicationOrExit(int& argc, char** argv) {
    ChooseEventLoop();
    std::vector<HeldMessage> held;
    heldMessages = &held;
    previousHandler = qInstallMessageHandler(HoldWhileStarting);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previousHandler);
    heldMessages = nullptr;
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        previousHandler(message.type, context, message.text);
    }
    return application;
}

int RunGuarded(Prompts& prompts, const std::function<int()>& start) {
    std::string text;
    try {
        return start();
    } catch (const std::exception& error) {
        text = error.what();
    } catch (...) {
        text = kUnknownFailure;
    }
    prompts.ShowMessage("SELKORAN", text, PromptIcon::Error);
    return 1;
}
