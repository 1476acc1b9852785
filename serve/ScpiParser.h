// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One command of a program message: its header from the root (a command after ";" is
// completed with the path of the one before), whether it is a query, and its parameters.
struct ScpiUnit {
    std::vector<std::string> header;  // upper-case mnemonics, or {"*IDN"} for a common command
    bool fQuery = false;
    std::vector<std::string> parameters;  // each without surrounding blanks
    int error = 0;                        // a syntax error found in it: it is not executed

    bool IsCommon() const { return !header.empty() && header.front().starts_with('*'); }
};

// The instrument language's reading of a program message: units separated by ";" (outside
// quotes and parentheses), a header ("SENS:VOLT:RATE?", ":SAMP:COUN", "*IDN?") then
// parameters separated by ",".
class ScpiParser {
public:
    // A program message without its line end.
    static std::vector<ScpiUnit> Parse(std::string_view message);
    // Decimal numeric data ("10", "-1.5E3", ".5", "+2."); nothing for anything else.
    static std::optional<double> Number(std::string_view text);
    // Whether `text` names the keyword `pattern`, in its short form (the upper-case part:
    // "IMM" of "IMMediate") or its long form, in any case.
    static bool Matches(std::string_view text, std::string_view pattern);
    // The short form of a keyword: its upper-case part ("IMM" of "IMMediate").
    static std::string_view ShortForm(std::string_view pattern);
    // A mnemonic without its numeric suffix ("CALC" of "CALC2"), and the suffix: 1 where there
    // is none, 0 for one that is no number a header takes ("CALC0", "CALC99999").
    static std::string_view WithoutSuffix(std::string_view mnemonic);
    static int Suffix(std::string_view mnemonic);

private:
    static ScpiUnit ParseUnit(std::string_view text, std::vector<std::string>& path);
    static bool ParseHeader(std::string_view text, ScpiUnit& unit, std::vector<std::string>& path);
    static bool SplitParameters(std::string_view text, std::vector<std::string>& parameters);
};
