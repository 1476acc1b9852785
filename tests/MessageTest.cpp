// SPDX-License-Identifier: GPL-3.0-or-later
// The message catalogue: the exact text, caption and icon of every box.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "messages/Mymessage.h"
#include "tests/fakes/FakePrompts.h"

namespace {

class MessageCatalogue : public ::testing::Test {
protected:
    FakePrompts prompts;
    TmyMessage messages{QStringLiteral("SELKORAN"), "SELKORAN Board", prompts};
};

TEST_F(MessageCatalogue, EveryBoxHasItsExactTextTheCaptionAndTheErrorIcon) {
    struct Row {
        std::function<void(TmyMessage&)> show;
        std::string text;
    };
    const Row rows[] = {
        {[](TmyMessage& m) { m.FatalMemoryError(QStringLiteral("TGraph_2CH")); },
         "致命的なメモリエラーです:TGraph_2CH"},
        {[](TmyMessage& m) { m.FatalMemoryError(QStringLiteral("AD7172")); },
         "致命的なメモリエラーです:AD7172"},
        {[](TmyMessage& m) { m.BoardNotFound(); }, "SELKORAN が見つかりませんでした"},
        {[](TmyMessage& m) { m.BoardNoResponse(); }, "SELKORAN が応答しませんでした"},
        {[](TmyMessage& m) { m.SaveFailed(); }, "データ保存できませんでした"},
        {[](TmyMessage& m) { m.BadDataFile(); }, "データファイルの内容が正しくありませんでした"},
        {[](TmyMessage& m) { m.NoData(); }, "データがありません"},
    };
    for (const auto& row : rows) {
        prompts.boxes.clear();
        row.show(messages);
        ASSERT_EQ(prompts.boxes.size(), 1U) << row.text;
        EXPECT_EQ(prompts.boxes[0].text, row.text);
        EXPECT_EQ(prompts.boxes[0].caption, "SELKORAN Board");
        EXPECT_EQ(prompts.boxes[0].icon, PromptIcon::Error);
    }
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_TRUE(prompts.fileDialogs.empty());
}

TEST_F(MessageCatalogue, AnEmptyAppNameKeepsTheLeadingSpace) {
    TmyMessage unnamed(QString(), "SELKORAN Board", prompts);
    unnamed.BoardNotFound();
    unnamed.BoardNoResponse();
    ASSERT_EQ(prompts.boxes.size(), 2U);
    EXPECT_EQ(prompts.boxes[0].text, " が見つかりませんでした");
    EXPECT_EQ(prompts.boxes[1].text, " が応答しませんでした");
}

TEST(MessageCaption, LongCaptionsAreCutTo19Characters) {
    struct Row {
        const char* caption;
        std::string shown;
    };
    const Row rows[] = {
        {"SELKORAN Board", "SELKORAN Board"},
        {"1234567890123456789", "1234567890123456789"},
        {"12345678901234567890", "1234567890123456789"},
        {"SELKORAN Board with a long caption", "SELKORAN Board with"},
        {"測定ボード測定ボード測定ボード測定ボード測定", "測定ボード測定ボード測定ボード測定ボー"},
        {"123456789012345678\U0001F600x", "123456789012345678"},  // no half a character
        {"", ""},
        {nullptr, ""},
    };
    for (const auto& row : rows) {
        FakePrompts prompts;
        TmyMessage messages(QStringLiteral("SELKORAN"), row.caption, prompts);
        messages.NoData();
        ASSERT_EQ(prompts.boxes.size(), 1U);
        EXPECT_EQ(prompts.boxes[0].caption, row.shown);
    }
}

}  // namespace
