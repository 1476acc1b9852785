// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "common/Prompts.h"

// Records every box and question and answers from queues the test fills.
class FakePrompts : public Prompts {
public:
    struct Box {
        std::string caption;
        std::string text;
        PromptIcon icon;
    };
    struct Question {
        std::string caption;
        std::string text;
        std::string yesText;
        std::string noText;
        bool defaultYes;
    };
    struct FileDialog {
        bool save;
        std::string filter;
        std::string initialName;
    };

    void ShowMessage(const std::string& caption, const std::string& text, PromptIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text, const std::string& yesText,
                  const std::string& noText, bool defaultYes) override;
    std::optional<std::string> AskSaveFileName(const std::string& filter,
                                               const std::string& initialName) override;
    std::optional<std::string> AskOpenFileName(const std::string& filter,
                                               const std::string& initialName) override;

    std::vector<Box> boxes;
    std::vector<Question> questions;
    std::vector<FileDialog> fileDialogs;

    std::deque<bool> yesNoAnswers;                       // empty: answer with the default
    std::deque<std::optional<std::string>> fileAnswers;  // empty: cancelled

private:
    std::optional<std::string> NextFileAnswer(bool save, const std::string& filter,
                                              const std::string& initialName);
};
