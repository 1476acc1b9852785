// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "serve/ScpiParser.h"

class ScpiInterpreter;

// The reading of the commands' parameters; a value a command does not take is reported on the
// connection (-224 not a value it takes, -222 out of its range) and read as nothing.
class ScpiParameters {
public:
    // A number within first..last, MINimum and MAXimum included.
    static std::optional<double> Numeric(ScpiInterpreter& interpreter, const std::string& text,
                                         double first, double last);
    // The index of the keyword `text` names among `choices`.
    static std::optional<std::size_t> Choice(ScpiInterpreter& interpreter, const std::string& text,
                                             std::initializer_list<std::string_view> choices);
    // A numeric setting's query: the value in force, or with MIN|MAX the least or the most the
    // setting takes.
    static std::optional<double> Queried(ScpiInterpreter& interpreter, const ScpiUnit& unit,
                                         double current, double first, double last);
    // A setting named by one of two keywords, held in `flag` (true for the second keyword when
    // `fFlagIsSecond`, else for the first): the query answers the short form of the one in
    // force.
    static void TwoWay(ScpiInterpreter& interpreter, const ScpiUnit& unit,
                       const std::array<std::string_view, 2>& keywords, bool& flag,
                       bool fFlagIsSecond);
    // The multimeter forms' range and resolution. The range: AUTO, MIN, MAX, DEF or a figure
    // up to the board's 2.5 V. The resolution: MIN, MAX, DEF or a positive figure in volts;
    // the rate alone sets it, so it is taken and changes nothing. False when refused.
    static bool MultimeterForm(ScpiInterpreter& interpreter, const ScpiUnit& unit);
    // The channels of a channel list "(@0)", "(@1)", "(@0,1)" (ranges "0:1" too) as CHSel;
    // nothing (unreported) for any other text.
    static std::optional<int> ChannelSelection(std::string_view text);
};
