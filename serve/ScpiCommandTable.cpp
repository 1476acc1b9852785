// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiCommandTable.h"

#include <span>
#include <string_view>
#include <vector>

namespace {

enum Form : unsigned { kSet = 1, kQuery = 2, kBoth = 3 };

struct Entry {
    std::string_view pattern;
    ScpiCommand command;
    unsigned forms;
};

constexpr Entry kEntries[] = {
    {"*IDN", ScpiCommand::Identify, kQuery},
    {"*RST", ScpiCommand::Reset, kSet},
    {"*CLS", ScpiCommand::Clear, kSet},
    {"*ESE", ScpiCommand::EventEnable, kBoth},
    {"*ESR", ScpiCommand::EventRegister, kQuery},
    {"*SRE", ScpiCommand::ServiceEnable, kBoth},
    {"*STB", ScpiCommand::StatusByte, kQuery},
    {"*OPC", ScpiCommand::OperationComplete, kBoth},
    {"*WAI", ScpiCommand::Wait, kSet},
    {"*TST", ScpiCommand::SelfTest, kQuery},
    {"*TRG", ScpiCommand::Trigger, kSet},
    {"[SENSe:]VOLTage[:DC]:RATE", ScpiCommand::Rate, kBoth},
    {"[SENSe:]VOLTage[:DC]:FILTer", ScpiCommand::Filter, kBoth},
    {"ROUTe:SCAN", ScpiCommand::Scan, kBoth},
    {"SAMPle:COUNt", ScpiCommand::Count, kBoth},
    {"TRIGger:SOURce", ScpiCommand::TriggerSource, kBoth},
    {"INITiate[:IMMediate]", ScpiCommand::Initiate, kSet},
    {"ABORt", ScpiCommand::Abort, kSet},
    {"FETCh:CODE", ScpiCommand::FetchCode, kQuery},
    {"FETCh[:VOLTage][:DC]", ScpiCommand::Fetch, kQuery},
    {"READ", ScpiCommand::Read, kQuery},
    {"MEASure[:VOLTage][:DC]", ScpiCommand::Measure, kQuery},
    {"CONFigure[:VOLTage][:DC]", ScpiCommand::Configure, kSet},
    {"DATA:POINts", ScpiCommand::Points, kQuery},
    {"FORMat[:DATA]", ScpiCommand::Format, kBoth},
    {"FORMat:BORDer", ScpiCommand::ByteOrder, kBoth},
    {"CALCulate:AVERage:ALL", ScpiCommand::Average, kQuery},
    {"CALCulate:NOISe", ScpiCommand::Noise, kQuery},
    {"SYSTem:ERRor[:NEXT]", ScpiCommand::Error, kQuery},
    {"SYSTem:ERRor:COUNt", ScpiCommand::ErrorCount, kQuery},
    {"SYSTem:VERSion", ScpiCommand::Version, kQuery},
};

struct Node {
    std::string_view keyword;
    bool fOptional;
};

// "[SENSe:]VOLTage[:DC]:RATE" as SENSe (optional), VOLTage, DC (optional), RATE.
std::vector<Node> Nodes(std::string_view pattern) {
    std::vector<Node> nodes;
    while (!pattern.empty()) {
        const bool fOptional = pattern.starts_with('[');
        pattern.remove_prefix(fOptional ? 1 : 0);
        pattern.remove_prefix(pattern.starts_with(':') ? 1 : 0);
        const std::string_view keyword = pattern.substr(0, pattern.find_first_of(":[]"));
        pattern.remove_prefix(keyword.size());
        if (fOptional) {  // "[SENSe:]" or "[:DC]"
            pattern.remove_prefix(pattern.starts_with(':') ? 1 : 0);
            pattern.remove_prefix(pattern.starts_with(']') ? 1 : 0);
        }
        nodes.push_back({keyword, fOptional});
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
    return !header.empty() && ScpiParser::Matches(header.front(), nodes.front().keyword) &&
           MatchNodes(nodes.subspan(1), header.subspan(1));
}

}  // namespace

std::optional<ScpiCommand> ScpiCommandTable::Find(const ScpiUnit& unit) {
    static const std::vector<std::vector<Node>> patterns = [] {
        std::vector<std::vector<Node>> all;
        for (const Entry& entry : kEntries) {
            all.push_back(Nodes(entry.pattern));
        }
        return all;
    }();
    const unsigned form = unit.fQuery ? kQuery : kSet;
    for (std::size_t i = 0; i < std::size(kEntries); ++i) {
        if ((kEntries[i].forms & form) != 0 && MatchNodes(patterns[i], unit.header)) {
            return kEntries[i].command;
        }
    }
    return std::nullopt;
}
