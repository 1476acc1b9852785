// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string_view>

#include "serve/ScpiParser.h"

class ScpiInterpreter;

// What one form of a command (the setting or the query) takes: the fewest and the most
// parameters. A command without the form has none.
struct ScpiForm {
    bool fExists = false;
    std::uint8_t least = 0;
    std::uint8_t most = 0;
};

// The forms the tables are made of.
namespace ScpiForms {
constexpr ScpiForm kNone{};
constexpr ScpiForm kBare{true, 0, 0};
constexpr ScpiForm kOneValue{true, 1, 1};
constexpr ScpiForm kMinMax{true, 0, 1};  // a numeric setting's query
}  // namespace ScpiForms

// One command the instrument knows: its header with optional parts and short forms
// ("[SENSe:]VOLTage[:DC]:RATE"), its forms, and what it does on the connection that sent it.
struct ScpiCommand {
    enum Trait : unsigned {
        kChangesRun = 1,   // the setting is refused while a run is armed or under way
        kFetchesData = 2,  // the query waits for a run's samples
    };
    // Called only with as many parameters as its form takes. A command that waits for a run's
    // end says so to the interpreter, and is executed again then (a READ? or MEASure? that has
    // started its run has become a FETCh?).
    using Handler = void (*)(ScpiInterpreter& interpreter, ScpiUnit& unit);

    std::string_view pattern;
    ScpiForm setting;
    ScpiForm query;
    Handler handler;
    unsigned traits = 0;
};

// Finds a unit's command among every command the instrument knows (`ScpiCommands`) and runs it.
class ScpiCommandTable {
public:
    // The command a unit's header names in the form it asks for (setting or query); null for
    // an unknown header or a form the command lacks.
    static const ScpiCommand* Find(const ScpiUnit& unit);
    // The unit's command after the checks every command shares: its syntax, its header, the
    // number of its parameters, a run it would change.
    static void Execute(ScpiInterpreter& interpreter, ScpiUnit& unit);
};
