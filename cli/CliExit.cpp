// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliExit.h"

#include <cstdio>

#include "common/FileError.h"
#include "datafile/FileFailure.h"
#include "messages/Mymessage.h"
#include "status/StatusTexts.h"

namespace CliExit {

const QString kSaveFailedText = QStringLiteral("データ保存できませんでした");
const QString kBadDataFileText = QStringLiteral("データファイルの内容が正しくありませんでした");

void PrintLine(const QString& text) {
    std::fprintf(stdout, "%s\n", text.toUtf8().constData());
}

void PrintError(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

QString ExistingFileText(const QString& fileName) {
    return QStringLiteral("ファイル：") + fileName +
           QStringLiteral("があります。上書きするには --force を付けてください");
}

QString FileFailureText(const QString& text, const QString& fileName, const FileFailure& failure) {
    return QString::fromStdString(
        FileErrorText(text.toStdString(), fileName.toStdString(), failure.Reason()));
}

void PrintRunEnd(TmyMessage& messages, AcquisitionOutcome outcome) {
    switch (outcome) {
        case AcquisitionOutcome::Stopped:
            PrintError(StatusTexts::Stopped());
            break;
        case AcquisitionOutcome::TimedOut:
            messages.BoardNoResponse();
            break;
        case AcquisitionOutcome::ReadFailed:
            PrintError(StatusTexts::MeasureError());
            break;
        default:
            break;
    }
}

int UsageError(const QString& error, const QString& command) {
    const QString help = command.isEmpty() ? QStringLiteral("--help") : command + " --help";
    std::fprintf(stderr, "%s\n詳しくは selkoran-cli %s を見てください\n",
                 error.toUtf8().constData(), help.toUtf8().constData());
    return kUsage;
}

}  // namespace CliExit
