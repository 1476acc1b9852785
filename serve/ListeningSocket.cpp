// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ListeningSocket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>

#include "common/SystemErrorText.h"
#include "serve/ServerLog.h"

namespace {

constexpr int kBacklog = 64;

// An address as people write it: "[::]" for IPv6.
std::string HostText(const std::string& host) {
    return host.find(':') == std::string::npos ? host : '[' + host + ']';
}

std::uint16_t PortOf(const sockaddr_storage& address) {
    return ntohs(address.ss_family == AF_INET
                     ? reinterpret_cast<const sockaddr_in*>(&address)->sin_port
                     : reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
}

}  // namespace

ListeningSocket::~ListeningSocket() {
    if (fd >= 0) {
        ::close(fd);
    }
}

bool ListeningSocket::Listen(const std::string& what, const std::string& address,
                             std::uint16_t wanted, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string where = HostText(address) + " のポート " + std::to_string(wanted);
    if (getaddrinfo(address.c_str(), std::to_string(wanted).c_str(), &hints, &found) != 0) {
        *error = "待ち受けるアドレスが正しくありません: " + address;
        return false;
    }
    fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    const int off = 0;
    bool fOk = fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
    // "::" takes IPv4 clients too.
    if (fOk && found->ai_family == AF_INET6) {
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    }
    fOk = fOk && ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, kBacklog) == 0;
    freeaddrinfo(found);
    if (!fOk) {
        *error = where + " で待ち受けできません: " + SystemErrorText(errno);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    port = PortOf(bound);
    ServerLog::Say(what + ": " + HostText(address) + " のポート " + std::to_string(port) +
                   " で待ち受けています");
    return true;
}

int ListeningSocket::Accept(const AllowList& allow, std::string* peer,
                            sockaddr_storage* address) const {
    for (;;) {
        socklen_t length = sizeof *address;
        const int accepted = ::accept4(fd, reinterpret_cast<sockaddr*>(address), &length,
                                       SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (accepted < 0) {
            return -1;
        }
        *peer = PeerText(*address);
        if (allow.Allows(*address)) {
            return accepted;
        }
        ServerLog::Say("接続を許可していないアドレスからの接続を閉じました：" + *peer);
        ::close(accepted);
    }
}

std::string ListeningSocket::PeerText(const sockaddr_storage& peer) {
    return HostText(AllowList::AddressText(peer)) + ':' + std::to_string(PortOf(peer));
}
