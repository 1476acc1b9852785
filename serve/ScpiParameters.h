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
    // A real setting within first..last: its query answers the value (NR3), or the least or
    // the most with MIN|MAX; its setting takes a number, MIN or MAX.
    static void Real(ScpiInterpreter& interpreter, const ScpiUnit& unit, double& field,
                     double first, double last);
    // An enable mask of 0..largest: its query answers the mask (or with MIN|MAX the least or
    // the most) and gives nothing; its setting gives the new mask.
    static std::optional<unsigned> Mask(ScpiInterpreter& interpreter, const ScpiUnit& unit,
                                        unsigned current, unsigned largest);
    // A state: ON, OFF, or a number (0 is OFF); its query answers 1 or 0.
    static void OnOff(ScpiInterpreter& interpreter, const ScpiUnit& unit, bool& flag);
    // The channel a header's first mnemonic names by its suffix (CALCulate1 or none: CH0,
    // CALCulate2: CH1); nothing after -114 for any other suffix.
    static std::optional<std::size_t> HeaderChannel(ScpiInterpreter& interpreter,
                                                    const ScpiUnit& unit);
    // String data, "..." or '...' with the quote doubled inside, of at most `longest`
    // characters and no control characters; nothing after -224 (not a string) or -222 (too long).
    static std::optional<std::string> Text(ScpiInterpreter& interpreter, std::string_view text,
                                           std::size_t longest);
    // String data as a response: in double quotes, a quote inside doubled.
    static std::string Quoted(std::string_view text);
};
