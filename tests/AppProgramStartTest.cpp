// SPDX-License-Identifier: GPL-3.0-or-later
// The guard around the window's life: what escapes it is shown and fails the program.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/ProgramStart.h"
#include "tests/fakes/FakePrompts.h"

TEST(AppProgramStart, EscapingExceptionShowsItsTextAndFails) {
    FakePrompts prompts;
    EXPECT_EQ(RunGuarded(prompts, [] { return 0; }), 0);
    EXPECT_EQ(RunGuarded(prompts, []() -> int { throw std::runtime_error("ボードがありません"); }),
              1);
    EXPECT_EQ(RunGuarded(prompts, []() -> int { throw 42; }), 1);
    ASSERT_EQ(prompts.boxes.size(), 2u);
    EXPECT_EQ(prompts.boxes[0].caption, "SELKORAN");
    EXPECT_EQ(prompts.boxes[0].text, "ボードがありません");
    EXPECT_EQ(prompts.boxes[0].icon, PromptIcon::Error);
    EXPECT_EQ(prompts.boxes[1].text, "予期しないエラーが発生しました");
}
