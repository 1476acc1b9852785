// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "common/PosixFile.h"
#include "common/SystemErrorText.h"

// Why a file could not be read or written, in the operator's words. `errorNumber` is an errno
// value, or PosixFile::kNotRegular for something that is no regular file.
inline std::string FileErrorReason(int errorNumber) {
    if (errorNumber == PosixFile::kNotRegular) {
        return "通常のファイルではありません";
    }
    return SystemErrorText(errorNumber);
}

// A failure text that names the file and the reason: "TEXT：FILE（REASON）".
inline std::string FileErrorText(const std::string& text, const std::string& fileName,
                                 const std::string& reason) {
    return text + "：" + fileName + "（" + reason + "）";
}
