// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument language's reading of program messages, headers and numbers, and the peers
// the server accepts.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstring>
#include <string>
#include <vector>

#include "serve/AllowList.h"
#include "serve/ScpiCommandTable.h"
#include "serve/ScpiParser.h"

namespace {

// A unit as "HEAD:ER? p1|p2" or "!-102" for an error.
std::string Describe(const ScpiUnit& unit) {
    if (unit.error != 0) {
        return '!' + std::to_string(unit.error);
    }
    std::string text;
    for (const std::string& mnemonic : unit.header) {
        text += (text.empty() ? "" : ":") + mnemonic;
    }
    text += unit.fQuery ? "?" : "";
    for (std::size_t i = 0; i < unit.parameters.size(); ++i) {
        text += (i == 0 ? " " : "|") + unit.parameters[i];
    }
    return text;
}

std::vector<std::string> Described(std::string_view message) {
    std::vector<std::string> units;
    for (const ScpiUnit& unit : ScpiParser::Parse(message)) {
        units.push_back(Describe(unit));
    }
    return units;
}

TEST(ServeParser, SplitsMessagesIntoUnitsWithTheirPathsAndParameters) {
    const std::pair<std::string_view, std::vector<std::string>> cases[] = {
        {"*idn?", {"*IDN?"}},
        {"SENS:VOLT:RATE 10;FILT sinc3", {"SENS:VOLT:RATE 10", "SENS:VOLT:FILT sinc3"}},
        {"FORM:DATA REAL, 64;*OPC?;BORD SWAP", {"FORM:DATA REAL|64", "*OPC?", "FORM:BORD SWAP"}},
        {":samp:coun 5;:ROUT:SCAN (@0,1)", {"SAMP:COUN 5", "ROUT:SCAN (@0,1)"}},
        {"  *RST ; *CLS ;", {"*RST", "*CLS"}},
        {"", {}},
        {"VOLT::RATE 1;*IDN?", {"!-102", "*IDN?"}},
        {"SAMP:COUN 1,;*STB?", {"!-102", "*STB?"}},
        {"ROUT:SCAN (@0;*IDN?", {"!-102"}},
        {"*ID3N?;\x01\xff", {"!-102", "!-102"}},
    };
    for (const auto& [message, units] : cases) {
        EXPECT_EQ(Described(message), units) << message;
    }
}

TEST(ServeParser, HeadersMatchInShortOrLongFormWithOptionalParts) {
    // The command found, by its pattern; "" for none.
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"VOLT:RATE?", "[SENSe:]VOLTage[:DC]:RATE"},
        {"sense:voltage:dc:rate 5", "[SENSe:]VOLTage[:DC]:RATE"},
        {"SENS:VOLT:RAT?", ""},
        {"DC:RATE?", ""},
        {"FETCH:VOLT:DC?", "FETCh[:VOLTage][:DC]"},
        {"FETC:CODE?", "FETCh:CODE"},
        {"INIT:IMM", "INITiate[:IMMediate]"},
        {"INIT?", ""},
        {"*IDN", ""},
        {"SYST:ERR:NEXT?", "SYSTem:ERRor[:NEXT]"},
        {"SYSTEM:ERROR:COUNT?", "SYSTem:ERRor:COUNt"},
        {"FORM REAL", "FORMat[:DATA]"},
    };
    for (const auto& [message, pattern] : cases) {
        const ScpiCommand* command = ScpiCommandTable::Find(ScpiParser::Parse(message).front());
        EXPECT_EQ(command ? command->pattern : "", pattern) << message;
    }
}

TEST(ServeParser, NumbersAreDecimalNumericDataOnly) {
    const std::pair<std::string_view, std::optional<double>> cases[] = {
        {"10", 10.0}, {"-1.5E3", -1500.0}, {".5", 0.5},  {"+2.", 2.0},
        {"1e", {}},   {"inf", {}},         {"0x10", {}}, {"", {}},
        {"MAX", {}},  {"1e999", {}},       {"5 HZ", {}},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(ScpiParser::Number(text), value) << text;
    }
}

sockaddr_storage Peer(const char* text) {
    sockaddr_storage peer{};
    if (std::strchr(text, ':') == nullptr) {
        auto* in = reinterpret_cast<sockaddr_in*>(&peer);
        in->sin_family = AF_INET;
        inet_pton(AF_INET, text, &in->sin_addr);
    } else {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&peer);
        in6->sin6_family = AF_INET6;
        inet_pton(AF_INET6, text, &in6->sin6_addr);
    }
    return peer;
}

TEST(ServeAllowList, AcceptsTheListedAddressesAndNetworksOnly) {
    std::string error;
    const auto list = AllowList::Parse("192.168.10.0/24,10.1.2.3,fd00::/8", &error);
    ASSERT_TRUE(list) << error;
    const std::pair<const char*, bool> peers[] = {
        {"192.168.10.7", true}, {"192.168.11.1", false},       {"10.1.2.3", true},
        {"10.1.2.4", false},    {"::ffff:192.168.10.9", true}, {"fd00::1", true},
        {"fe80::1", false},
    };
    for (const auto& [peer, fAllowed] : peers) {
        EXPECT_EQ(list->Allows(Peer(peer)), fAllowed) << peer;
    }
    EXPECT_TRUE(AllowList::Parse("", &error)->Allows(Peer("203.0.113.5")));
    for (const char* bad : {"10.0.0.0/33", "lab-pc", "1.2.3.4/", "1.2.3.4,,"}) {
        EXPECT_FALSE(AllowList::Parse(bad, &error)) << bad;
        EXPECT_NE(error.find("許可する接続元"), std::string::npos);
    }
}

TEST(ServeAllowList, APrefixWithAPartialByteComparesItsLeadingBits) {
    std::string error;
    const auto list = AllowList::Parse("10.1.16.0/20,172.16.0.0/12,fd00:aa00::/23", &error);
    ASSERT_TRUE(list) << error;
    const std::pair<const char*, bool> peers[] = {
        {"10.1.16.0", true},     {"10.1.31.7", true},      {"10.1.32.1", false},
        {"10.1.15.255", false},  {"172.31.255.254", true}, {"172.32.0.1", false},
        {"fd00:abff::1", true},  {"fd00:aa00::1", true},   {"fd00:ac00::1", false},
        {"fd00:a900::1", false},
    };
    for (const auto& [peer, fAllowed] : peers) {
        EXPECT_EQ(list->Allows(Peer(peer)), fAllowed) << peer;
    }
}

}  // namespace
