// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/AllowList.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <cstring>

namespace {

// The peer's family and address bytes, an IPv4-mapped IPv6 address as IPv4.
std::pair<int, const std::uint8_t*> PeerAddress(const sockaddr_storage& peer) {
    if (peer.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&peer);
        return {AF_INET, reinterpret_cast<const std::uint8_t*>(&in->sin_addr)};
    }
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&peer);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&in6->sin6_addr);
    if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
        return {AF_INET, bytes + 12};
    }
    return {AF_INET6, bytes};
}

}  // namespace

std::optional<AllowList> AllowList::Parse(std::string_view text, std::string* error) {
    AllowList list;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view entry = text.substr(0, comma);
        const std::optional<Network> network = ParseNetwork(entry);
        if (!network) {
            *error = "許可する接続元の指定が正しくありません: " + std::string(entry);
            return std::nullopt;
        }
        list.networks.push_back(*network);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    return list;
}

std::optional<AllowList::Network> AllowList::ParseNetwork(std::string_view text) {
    const std::size_t slash = text.find('/');
    const std::string address(text.substr(0, slash));
    Network network;
    network.family = address.find(':') == std::string::npos ? AF_INET : AF_INET6;
    if (inet_pton(network.family, address.c_str(), network.address.data()) != 1) {
        return std::nullopt;
    }
    const int longest = network.family == AF_INET ? 32 : 128;
    network.prefixBits = longest;
    if (slash != std::string_view::npos) {
        const std::string_view bits = text.substr(slash + 1);
        const auto [end, failure] =
            std::from_chars(bits.data(), bits.data() + bits.size(), network.prefixBits);
        if (bits.empty() || failure != std::errc{} || end != bits.data() + bits.size() ||
            network.prefixBits < 0 || network.prefixBits > longest) {
            return std::nullopt;
        }
    }
    return network;
}

bool AllowList::Contains(const Network& network, int family, const std::uint8_t* address) {
    if (family != network.family) {
        return false;
    }
    const int whole = network.prefixBits / 8;
    if (std::memcmp(network.address.data(), address, static_cast<std::size_t>(whole)) != 0) {
        return false;
    }
    const int rest = network.prefixBits % 8;
    const auto mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
    return rest == 0 || ((network.address[whole] ^ address[whole]) & mask) == 0;
}

bool AllowList::Allows(const sockaddr_storage& peer) const {
    if (networks.empty()) {
        return true;
    }
    const auto [family, address] = PeerAddress(peer);
    for (const Network& network : networks) {
        if (Contains(network, family, address)) {
            return true;
        }
    }
    return false;
}

std::string AllowList::AddressText(const sockaddr_storage& peer) {
    const auto [family, address] = PeerAddress(peer);
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(family, address, text, sizeof text);
    return text;
}
