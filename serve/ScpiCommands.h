// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

#include "serve/ScpiCommandTable.h"

// Every command the instrument knows, each with what it does on the connection that sent it
// and the shared instrument.
class ScpiCommands {
public:
    static std::span<const ScpiCommand> Table();
};
