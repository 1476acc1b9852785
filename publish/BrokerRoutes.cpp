// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/BrokerRoutes.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <memory>

namespace BrokerRoutes {

namespace {

std::string NumberOf(const addrinfo& entry) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* number = entry.ai_family == AF_INET6
                             ? static_cast<const void*>(
                                   &reinterpret_cast<const sockaddr_in6*>(entry.ai_addr)->sin6_addr)
                             : static_cast<const void*>(
                                   &reinterpret_cast<const sockaddr_in*>(entry.ai_addr)->sin_addr);
    return inet_ntop(entry.ai_family, number, text, sizeof text) != nullptr ? text : "";
}

// The wildcard address of `family`: bound before the connection, it keeps libmosquitto off
// the addresses of the other family.
std::string WildcardOf(int family) {
    return family == AF_INET6 ? "::" : "0.0.0.0";
}

}  // namespace

std::vector<Address> Resolve(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) {
        return {};
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    std::vector<Address> addresses;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET || entry->ai_family == AF_INET6) {
            addresses.push_back({entry->ai_family, NumberOf(*entry)});
        }
    }
    return addresses;
}

std::vector<Route> Of(const MqttAddress& broker, const std::vector<Address>& addresses) {
    std::vector<Route> routes;
    for (const Address& address : addresses) {
        Route route = broker.fTls ? Route{broker.host, WildcardOf(address.family)}
                                  : Route{address.text, std::string()};
        const bool fNew = std::none_of(routes.begin(), routes.end(), [&route](const Route& r) {
            return r.host == route.host && r.bindAddress == route.bindAddress;
        });
        if (fNew) {
            routes.push_back(std::move(route));
        }
    }
    return routes;
}

}  // namespace BrokerRoutes
