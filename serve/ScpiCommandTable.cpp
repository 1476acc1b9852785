// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiCommandTable.h"

#include <span>
#include <string_view>
#include <vector>

#include "serve/ScpiCommands.h"
#include "serve/ScpiInterpreter.h"

namespace {

struct Node {
    std::string_view keyword;
    bool fOptional;
    bool fSuffix;  // takes a numeric suffix ("CALC2")
};

// "[SENSe:]VOLTage[:DC]:RATE" as SENSe (optional), VOLTage, DC (optional), RATE;
// "CALCulate#:NULL" as CALCulate with a suffix, NULL.
std::vector<Node> Nodes(std::string_view pattern) {
    std::vector<Node> nodes;
    while (!pattern.empty()) {
        const bool fOptional = pattern.starts_with('[');
        pattern.remove_prefix(fOptional ? 1 : 0);
        pattern.remove_prefix(pattern.starts_with(':') ? 1 : 0);
        std::string_view keyword = pattern.substr(0, pattern.find_first_of(":[]"));
        pattern.remove_prefix(keyword.size());
        if (fOptional) {  // "[SENSe:]" or "[:DC]"
            pattern.remove_prefix(pattern.starts_with(':') ? 1 : 0);
            pattern.remove_prefix(pattern.starts_with(']') ? 1 : 0);
        }
        const bool fSuffix = keyword.ends_with('#');
        keyword.remove_suffix(fSuffix ? 1 : 0);
        nodes.push_back({keyword, fOptional, fSuffix});
    }
    return nodes;
}

bool MatchNodes(std::span<const Node> nodes, std::span<const std::string> header) {
    if (nodes.empty()) {
        return header.empty();
    }
    if (nodes.front().fOptional && MatchNodes(nodes.subspan(1), header)) {
        return true;
    }
    if (header.empty()) {
        return false;
    }
    const Node& node = nodes.front();
    const std::string_view mnemonic =
        node.fSuffix ? ScpiParser::WithoutSuffix(header.front()) : header.front();
    return ScpiParser::Matches(mnemonic, node.keyword) &&
           MatchNodes(nodes.subspan(1), header.subspan(1));
}

// Why a unit's command is not run: -113 an unknown header or a form the command lacks, -108
// a parameter too many, -221 a setting that would change the run under way, -109 a missing
// value; 0 to run it.
int Refusal(ScpiInterpreter& interpreter, const ScpiCommand* command, const ScpiUnit& unit) {
    if (command == nullptr) {
        return ScpiError::kUndefinedHeader;
    }
    const ScpiForm& form = unit.fQuery ? command->query : command->setting;
    if (unit.parameters.size() > form.most) {
        return ScpiError::kParameterNotAllowed;
    }
    if (!unit.fQuery && (command->traits & ScpiCommand::kChangesRun) != 0 &&
        interpreter.Instrument().Busy()) {
        return ScpiError::kSettingsConflict;
    }
    return unit.parameters.size() < form.least ? ScpiError::kMissingParameter : 0;
}

}  // namespace

const ScpiCommand* ScpiCommandTable::Find(const ScpiUnit& unit) {
    static const std::vector<std::vector<Node>> patterns = [] {
        std::vector<std::vector<Node>> all;
        for (const ScpiCommand& command : ScpiCommands::Table()) {
            all.push_back(Nodes(command.pattern));
        }
        return all;
    }();
    const std::span<const ScpiCommand> commands = ScpiCommands::Table();
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const ScpiForm& form = unit.fQuery ? commands[i].query : commands[i].setting;
        if (form.fExists && MatchNodes(patterns[i], unit.header)) {
            return &commands[i];
        }
    }
    return nullptr;
}

void ScpiCommandTable::Execute(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    const ScpiCommand* command = unit.error == 0 ? Find(unit) : nullptr;
    if (const int error = unit.error != 0 ? unit.error : Refusal(interpreter, command, unit)) {
        interpreter.Error(error);
    } else {
        command->handler(interpreter, unit);
    }
}
