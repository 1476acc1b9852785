// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

#include "serve/ScpiCommandTable.h"

// Every command the instrument knows, each with what it does on the connection that sent it
// and the shared instrument: the common commands, the run and its data (ScpiCommands.cpp), and
// those of the units below.
class ScpiCommands {
public:
    static std::span<const ScpiCommand> Table();
};

// A bench meter's settings: readings over power-line cycles, the line frequency, the
// questionable status register and the saved setups (ScpiMeterCommands.cpp).
namespace ScpiMeterCommands {
std::span<const ScpiCommand> Table();
}

// Each channel's null, scale and limits (CALCulate1 for CH0, CALCulate2 for CH1;
// ScpiCalculateCommands.cpp).
namespace ScpiCalculateCommands {
std::span<const ScpiCommand> Table();
}
