// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "publish/MqttAddress.h"

// The ways to a broker whose name has several addresses (on Debian `localhost` is ::1 and
// 127.0.0.1, a broker often listens on one of them only): each is tried in the resolver's
// order, the next at once when one fails, as mosquitto's own clients do. libmosquitto, when it
// connects without waiting, stays with the first address that takes a connection attempt;
// so a plain connection goes to each address by its number, while TLS, which must name the
// broker to check its certificate, goes by the name bound to one address family at a time.
namespace BrokerRoutes {

struct Address {
    int family = 0;    // AF_INET or AF_INET6
    std::string text;  // the address as a number ("127.0.0.1", "::1")
};

// One connection attempt: what libmosquitto connects to, and the local address it binds
// first (a wildcard that rules out the other family; empty: none).
struct Route {
    std::string host;
    std::string bindAddress;
};

// The broker's addresses, or none when its name cannot be resolved.
using Resolver = std::function<std::vector<Address>(const std::string& host)>;

// The system's resolver, asked as libmosquitto asks it.
std::vector<Address> Resolve(const std::string& host);

// The attempts, in order, for `broker` at `addresses`.
std::vector<Route> Of(const MqttAddress& broker, const std::vector<Address>& addresses);

}  // namespace BrokerRoutes
