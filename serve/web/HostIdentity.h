// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Where a browser reached the instrument: this machine's name, the address of the connection's
// own end and the hardware address of the interface that holds it.
struct HostIdentity {
    std::string hostName;
    std::string address;     // "192.168.10.5", "::1"
    std::string macAddress;  // "52:54:00:12:34:56"; "00:00:00:00:00:00" on loopback
    std::string interfaceName;

    // Of the connection `fd` (a connected socket).
    static HostIdentity OfConnection(int fd);
    // The address as a URL's host: IPv6 in brackets.
    std::string UrlHost() const;
};
