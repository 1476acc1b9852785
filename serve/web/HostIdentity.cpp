// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/web/HostIdentity.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "serve/AllowList.h"

namespace {

bool SameAddress(const sockaddr* a, const sockaddr_storage& b) {
    if (a == nullptr || a->sa_family != b.ss_family) {
        return false;
    }
    if (a->sa_family == AF_INET) {
        return reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in*>(&b)->sin_addr.s_addr;
    }
    return a->sa_family == AF_INET6 &&
           std::memcmp(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr,
                       &reinterpret_cast<const sockaddr_in6*>(&b)->sin6_addr,
                       sizeof(in6_addr)) == 0;
}

// The interface that holds `local`; empty when none does.
std::string InterfaceOf(const sockaddr_storage& local) {
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) {
        return {};
    }
    std::string name;
    for (const ifaddrs* entry = all; entry != nullptr && name.empty(); entry = entry->ifa_next) {
        if (SameAddress(entry->ifa_addr, local)) {
            name = entry->ifa_name;
        }
    }
    freeifaddrs(all);
    return name;
}

// An IPv4 peer of an IPv6 socket as the IPv4 address it is.
void Unmap(sockaddr_storage& address) {
    if (address.ss_family != AF_INET6) {
        return;
    }
    const in6_addr six = reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr;
    if (!IN6_IS_ADDR_V4MAPPED(&six)) {
        return;
    }
    sockaddr_in four{};
    four.sin_family = AF_INET;
    std::memcpy(&four.sin_addr, six.s6_addr + 12, 4);
    address = {};
    std::memcpy(&address, &four, sizeof four);
}

}  // namespace

HostIdentity HostIdentity::OfConnection(int fd) {
    HostIdentity identity;
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    identity.hostName = name;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return identity;
    }
    Unmap(local);
    identity.address = AllowList::AddressText(local);
    identity.interfaceName = InterfaceOf(local);
    std::ifstream mac("/sys/class/net/" + identity.interfaceName + "/address");
    if (identity.interfaceName.empty() || !std::getline(mac, identity.macAddress)) {
        identity.macAddress = "00:00:00:00:00:00";
    }
    return identity;
}

std::string HostIdentity::UrlHost() const {
    return address.find(':') == std::string::npos ? address : '[' + address + ']';
}
