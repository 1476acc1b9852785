// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include "serve/ScpiParser.h"

// Every command the instrument knows.
enum class ScpiCommand {
    Identify,
    Reset,
    Clear,
    EventEnable,
    EventRegister,
    ServiceEnable,
    StatusByte,
    OperationComplete,
    Wait,
    SelfTest,
    Trigger,
    Rate,
    Filter,
    Scan,
    Count,
    TriggerSource,
    Initiate,
    Abort,
    Fetch,
    FetchCode,
    Read,
    Measure,
    Configure,
    Points,
    Format,
    ByteOrder,
    Average,
    Noise,
    Error,
    ErrorCount,
    Version
};

// The headers of the instrument's commands, with their optional parts and short forms
// ("[SENSe:]VOLTage[:DC]:RATE"), and whether each has a setting form, a query form or both.
class ScpiCommandTable {
public:
    // The command a unit's header names in the form it asks for (setting or query); nothing
    // for an unknown header or a form the command lacks.
    static std::optional<ScpiCommand> Find(const ScpiUnit& unit);
};
