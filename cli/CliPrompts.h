// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Prompts.h"
#include "messages/Mymessage.h"

// The operator's side of the shared code on a command line: boxes become lines on standard
// error, the overwrite question is answered yes only when --force was given, and there are
// no file dialogs (names come from the command line).
class CliPrompts : public Prompts {
public:
    explicit CliPrompts(bool fOverwrite = false) : fForce(fOverwrite) {}

    void ShowMessage(const std::string& caption, const std::string& text, PromptIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text, const std::string& yesText,
                  const std::string& noText, bool defaultYes) override;
    std::optional<std::string> AskSaveFileName(const std::string& filter,
                                               const std::string& initialName) override;
    std::optional<std::string> AskOpenFileName(const std::string& filter,
                                               const std::string& initialName) override;

    // True once a question was answered no: the save it guarded wrote nothing.
    bool Declined() const { return fDeclined; }
    // The window's message catalogue, its boxes shown here.
    TmyMessage Messages();

private:
    bool fForce;
    bool fDeclined = false;
};
