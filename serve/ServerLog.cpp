// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ServerLog.h"

#include <cstdio>

void ServerLog::Say(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

void ServerLog::SayAboutConnection(const std::string& line) const {
    if (!fQuiet) {
        Say(line);
    }
}
