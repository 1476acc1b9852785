// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingTexts.h"

#include <cerrno>

#include "common/FileError.h"

namespace RecordingTexts {

std::string FileFailed(const std::string& fileName, int errorNumber) {
    // A file of that name made by someone else between the question and the start.
    const std::string reason =
        errorNumber == EEXIST ? "同じ名前のファイルがあります" : FileErrorReason(errorNumber);
    return FileErrorText("データ保存できませんでした", fileName, reason);
}

std::string Kept(const std::string& fileName, std::int64_t samples) {
    const std::string file = "ファイル：" + fileName;
    if (samples == 0) {
        return file + "にデータはありません";
    }
    return file + "にデータ " + std::to_string(samples) + " 個を保存しました";
}

}  // namespace RecordingTexts
