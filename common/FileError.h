// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cerrno>
#include <cstring>
#include <string>

#include "common/PosixFile.h"

// Why a file could not be read or written, in the operator's words: the common causes in the
// program's own Japanese, anything rarer in the system's own text. `errorNumber` is an errno
// value, or PosixFile::kNotRegular for something that is no regular file.
inline std::string FileErrorReason(int errorNumber) {
    switch (errorNumber) {
        case PosixFile::kNotRegular:
            return "通常のファイルではありません";
        case ENOENT:
            return "ファイルまたはフォルダがありません";
        case ENOTDIR:
            return "途中の名前がフォルダではありません";
        case EISDIR:
            return "フォルダです";
        case EACCES:
        case EPERM:
            return "アクセスが許可されていません";
        case EROFS:
            return "読み取り専用のファイルシステムです";
        case ENOSPC:
        case EDQUOT:
            return "ディスクがいっぱいです";
        case EFBIG:
            return "ファイルが大きすぎます";
        case ELOOP:
            return "シンボリックリンクが循環しています";
        case ENAMETOOLONG:
            return "名前が長すぎます";
        default:
            return std::strerror(errorNumber);
    }
}

// A failure text that names the file and the reason: "TEXT：FILE（REASON）".
inline std::string FileErrorText(const std::string& text, const std::string& fileName,
                                 const std::string& reason) {
    return text + "：" + fileName + "（" + reason + "）";
}
