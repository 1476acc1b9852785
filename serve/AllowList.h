// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The peers a server accepts: addresses and networks ("192.168.10.0/24,10.1.2.3,fd00::/8").
// An empty list accepts every peer. IPv4 peers of an IPv6 socket (::ffff:a.b.c.d) count as
// the IPv4 addresses they are.
class AllowList {
public:
    // Nothing for a bad entry, which `error` then names.
    static std::optional<AllowList> Parse(std::string_view text, std::string* error);
    bool Allows(const sockaddr_storage& peer) const;
    // The peer's address as text ("192.168.10.7", "fd00::1").
    static std::string AddressText(const sockaddr_storage& peer);

private:
    struct Network {
        int family = AF_INET;
        std::array<std::uint8_t, 16> address{};
        int prefixBits = 0;
    };

    static std::optional<Network> ParseNetwork(std::string_view text);
    static bool Contains(const Network& network, int family, const std::uint8_t* address);

    std::vector<Network> networks;
};
