// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>

#include "serve/AllowList.h"

// A listening TCP socket of the instrument (SCPI, the web page), non-blocking, and the peers it
// accepts: those the allow list lets in, the others closed at once with a line on standard
// error.
class ListeningSocket {
public:
    ListeningSocket() = default;
    ~ListeningSocket();
    ListeningSocket(const ListeningSocket&) = delete;
    ListeningSocket& operator=(const ListeningSocket&) = delete;

    // Listens on `address` port `port` (0: any free port) and says where on standard error,
    // naming the service (`what`: "SCPI サーバー"); false with the reason in `error`.
    bool Listen(const std::string& what, const std::string& address, std::uint16_t port,
                std::string* error);
    int Descriptor() const { return fd; }
    std::uint16_t Port() const { return port; }
    // The next allowed peer's socket (non-blocking), its address text in `peer`; -1 when none
    // waits.
    int Accept(const AllowList& allow, std::string* peer, sockaddr_storage* address) const;

    // A peer as people write it: "127.0.0.1:43210", "[fd00::7]:43210".
    static std::string PeerText(const sockaddr_storage& peer);

private:
    int fd = -1;
    std::uint16_t port = 0;
};
