// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "serve/ScpiCommandTable.h"

class ScpiSession;

// What each command does, on the connection that sent it and the shared instrument.
class ScpiCommands {
public:
    enum class Step { Done, Wait };

    // Wait: the command waits for the end of a run and is to be executed again then (a READ?
    // or MEASure? that has started its run has become a FETCh?).
    static Step Execute(ScpiSession& session, ScpiUnit& unit);

private:
    static Step Common(ScpiSession& session, ScpiCommand command, const ScpiUnit& unit);
    static Step Settings(ScpiSession& session, ScpiCommand command, const ScpiUnit& unit);
    static Step Run(ScpiSession& session, ScpiCommand command, ScpiUnit& unit);
    static Step Data(ScpiSession& session, ScpiCommand command);
    // `value`: the setting's one value; null for the query.
    static void Rate(ScpiSession& session, const ScpiUnit& unit, const std::string* value);
    static void Scan(ScpiSession& session, const std::string* value);
    static void Format(ScpiSession& session, const ScpiUnit& unit);
    static void Average(ScpiSession& session);
    static void Noise(ScpiSession& session);
};
