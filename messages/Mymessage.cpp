// SPDX-License-Identifier: GPL-3.0-or-later
#include "messages/Mymessage.h"

#include <utility>

#include "common/Prompts.h"
#include "status/StatusTexts.h"

namespace {

// The first `length` characters of a caption, never splitting a surrogate pair.
QString CutCaption(const char* caption, int length) {
    QString text = QString::fromUtf8(caption);
    if (text.size() <= length) {
        return text;
    }
    if (text.at(length - 1).isHighSurrogate()) {
        --length;
    }
    return text.left(length);
}

}  // namespace

TmyMessage::TmyMessage(QString applicationName, const char* caption, Prompts& boxPrompts)
    : appName(std::move(applicationName)),
      boxCaption(CutCaption(caption, kCaptionLength)),
      prompts(boxPrompts) {}

void TmyMessage::Show(const QString& text) {
    prompts.ShowMessage(boxCaption.toStdString(), text.toStdString(), PromptIcon::Error);
}

void TmyMessage::FatalMemoryError(const QString& objectName) {
    Show(QStringLiteral("致命的なメモリエラーです:") + objectName);
}

void TmyMessage::BoardNotFound() {
    Show(appName + QStringLiteral(" が見つかりませんでした"));
}

void TmyMessage::BoardNoResponse() {
    Show(appName + QStringLiteral(" が応答しませんでした"));
}

void TmyMessage::StartFailed(Acquisition::StartResult result) {
    switch (result) {
        case Acquisition::StartResult::NotFound:
        case Acquisition::StartResult::WrongName:
            BoardNotFound();
            break;
        case Acquisition::StartResult::NoResponse:
            BoardNoResponse();
            break;
        case Acquisition::StartResult::BoardError:
            Show(StatusTexts::BoardError(boxCaption));  // the caption names the board
            break;
        case Acquisition::StartResult::Started:
        case Acquisition::StartResult::Busy:
        case Acquisition::StartResult::Refused:
            break;
    }
}

void TmyMessage::SaveFailed() {
    Show(QStringLiteral("データ保存できませんでした"));
}

void TmyMessage::BadDataFile() {
    Show(QStringLiteral("データファイルの内容が正しくありませんでした"));
}

void TmyMessage::NoData() {
    Show(QStringLiteral("データがありません"));
}
