// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Prompts.h"

// Prompts shown with Qt: message boxes owned by no window (so they appear even before the
// main window does), yes/no questions with the given button texts and default (Escape says no),
// and Qt's own file dialogs rather than the desktop's, which look and behave the same
// everywhere. The save dialog asks no overwrite question (the file code asks its own); where it
// offers several types, a name typed without an extension takes the chosen type's.
class QtPrompts : public Prompts {
public:
    void ShowMessage(const std::string& caption, const std::string& text, PromptIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text, const std::string& yesText,
                  const std::string& noText, bool defaultYes) override;
    std::optional<std::string> AskSaveFileName(const std::string& filter,
                                               const std::string& initialName) override;
    std::optional<std::string> AskOpenFileName(const std::string& filter,
                                               const std::string& initialName) override;
};
