// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "common/FileError.h"
#include "common/SystemErrorText.h"

namespace {

bool Ascii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whatever a system call fails with, the operator reads it in Japanese, never in the C
// library's English ("Address already in use"); a value without words of its own is named by
// its number.
TEST(CommonSystemErrorText, EveryErrnoReadsInJapanese) {
    for (int errnoValue = 1; errnoValue <= 133; ++errnoValue) {
        const std::string text = SystemErrorText(errnoValue);
        EXPECT_FALSE(Ascii(text)) << errnoValue << ": " << text;
        EXPECT_NE(text, std::strerror(errnoValue));
    }
    EXPECT_EQ(SystemErrorText(EHWPOISON), "システムエラー（errno 番号 133）");
    EXPECT_EQ(FileErrorReason(EADDRINUSE), SystemErrorText(EADDRINUSE));
    EXPECT_EQ(FileErrorText("保存できません", "run.DTA", FileErrorReason(ENOENT)),
              "保存できません：run.DTA（ファイルまたはフォルダがありません）");
}

}  // namespace
