// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

enum class PromptIcon { None, Information, Warning, Error, Question };

// Everything that asks the operator something or shows a modal box goes through this
// interface, so that the window's logic and the file code can be driven without a display.
// Texts are UTF-8.
class Prompts {
public:
    virtual ~Prompts() = default;

    // A modal box with one OK button and no owner window.
    virtual void ShowMessage(const std::string& caption, const std::string& text,
                             PromptIcon icon) = 0;

    // A yes/no question; true when the operator chose yes.
    virtual bool AskYesNo(const std::string& caption, const std::string& text,
                          const std::string& yesText, const std::string& noText,
                          bool defaultYes) = 0;

    // File dialogs; nothing when cancelled. `filter` is "Description (*.EXT)", or several
    // such separated by ";;".
    virtual std::optional<std::string> AskSaveFileName(const std::string& filter,
                                                       const std::string& initialName) = 0;
    virtual std::optional<std::string> AskOpenFileName(const std::string& filter,
                                                       const std::string& initialName) = 0;
};

// The question before a file is replaced: "確認", "ファイル：NAMEがあります。" and
// "上書きしますか" on two lines, yes as the default unless `defaultYes` says no (a long
// recording's file, which Enter must not throw away). True when the operator chose yes.
inline bool ConfirmOverwrite(Prompts& prompts, const std::string& fileName,
                             bool defaultYes = true) {
    return prompts.AskYesNo("確認", "ファイル：" + fileName + "があります。\n上書きしますか",
                            "はい(&Y)", "いいえ(&N)", defaultYes);
}
