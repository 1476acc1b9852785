// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliPrompts.h"

#include <cstdio>

void CliPrompts::ShowMessage(const std::string&, const std::string& text, PromptIcon) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

bool CliPrompts::AskYesNo(const std::string&, const std::string&, const std::string&,
                          const std::string&, bool) {
    fDeclined = fDeclined || !fForce;
    return fForce;
}

std::optional<std::string> CliPrompts::AskSaveFileName(const std::string&, const std::string&) {
    return std::nullopt;
}

std::optional<std::string> CliPrompts::AskOpenFileName(const std::string&, const std::string&) {
    return std::nullopt;
}

TmyMessage CliPrompts::Messages() {
    return TmyMessage(QStringLiteral("SELKORAN"), "SELKORAN Board", *this);
}
