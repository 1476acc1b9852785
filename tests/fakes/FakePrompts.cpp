// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/fakes/FakePrompts.h"

void FakePrompts::ShowMessage(const std::string& caption, const std::string& text,
                              PromptIcon icon) {
    boxes.push_back({caption, text, icon});
}

bool FakePrompts::AskYesNo(const std::string& caption, const std::string& text,
                           const std::string& yesText, const std::string& noText, bool defaultYes) {
    questions.push_back({caption, text, yesText, noText, defaultYes});
    if (yesNoAnswers.empty()) {
        return defaultYes;
    }
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

std::optional<std::string> FakePrompts::AskSaveFileName(const std::string& filter,
                                                        const std::string& initialName) {
    return NextFileAnswer(true, filter, initialName);
}

std::optional<std::string> FakePrompts::AskOpenFileName(const std::string& filter,
                                                        const std::string& initialName) {
    return NextFileAnswer(false, filter, initialName);
}

std::optional<std::string> FakePrompts::NextFileAnswer(bool save, const std::string& filter,
                                                       const std::string& initialName) {
    fileDialogs.push_back({save, filter, initialName});
    if (fileAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}
