// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where a monitor publishes: mqtt://HOST[:PORT]/PREFIX, or mqtts:// for TLS. HOST may be a name,
// an IPv4 address or an IPv6 address in brackets; the port defaults to 1883 (8883 with TLS);
// PREFIX is one or more topic levels without wildcards.
struct MqttAddress {
    static constexpr int kPort = 1883;
    static constexpr int kTlsPort = 8883;

    std::string host;
    int port = kPort;
    bool fTls = false;
    std::string prefix;

    // Nothing for a malformed address; `error` then says what is wrong.
    static std::optional<MqttAddress> Parse(std::string_view url, std::string& error);
    // "HOST:PORT" as the operator reads it.
    std::string HostAndPort() const;
};
