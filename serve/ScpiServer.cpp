// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiServer.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/SystemErrorText.h"

namespace {

constexpr int kBacklog = 64;

// The listening address as people write it: "[::]" for IPv6.
std::string HostText(const std::string& host) {
    return host.find(':') == std::string::npos ? host : '[' + host + ']';
}

// A peer as people write it: "127.0.0.1:43210", "[fd00::7]:43210".
std::string PeerText(const sockaddr_storage& peer) {
    const in_port_t port = peer.ss_family == AF_INET
                               ? reinterpret_cast<const sockaddr_in*>(&peer)->sin_port
                               : reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_port;
    return HostText(AllowList::AddressText(peer)) + ':' + std::to_string(ntohs(port));
}

}  // namespace

ScpiServer::ScpiServer(ScpiInstrument& shared, Options serverOptions)
    : instrument(shared), options(std::move(serverOptions)), log(options.fQuiet) {}

ScpiServer::~ScpiServer() {
    if (listenFd >= 0) {
        ::close(listenFd);
    }
}

bool ScpiServer::Listen(std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string where =
        HostText(options.listen) + " のポート " + std::to_string(options.port);
    if (getaddrinfo(options.listen.c_str(), std::to_string(options.port).c_str(), &hints, &found) !=
        0) {
        *error = "待ち受けるアドレスが正しくありません: " + options.listen;
        return false;
    }
    listenFd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    const int off = 0;
    bool fOk = listenFd >= 0 && setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
    // "::" takes IPv4 clients too.
    if (fOk && found->ai_family == AF_INET6) {
        setsockopt(listenFd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    }
    fOk = fOk && ::bind(listenFd, found->ai_addr, found->ai_addrlen) == 0 &&
          ::listen(listenFd, kBacklog) == 0;
    freeaddrinfo(found);
    if (!fOk) {
        *error = where + " で待ち受けできません: " + SystemErrorText(errno);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(listenFd, reinterpret_cast<sockaddr*>(&bound), &length);
    port = ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                            : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    ServerLog::Say("SCPI サーバー: " + HostText(options.listen) + " のポート " +
                   std::to_string(port) + " で待ち受けています");
    return true;
}

void ScpiServer::Serve(int stopFd) {
    std::vector<pollfd> fds;
    for (;;) {
        fds.assign({{stopFd, POLLIN, 0}, {listenFd, POLLIN, 0}, {wakeFd, POLLIN, 0}});
        for (const auto& connection : connections) {
            fds.push_back({connection->Descriptor(), connection->Events(), 0});
        }
        ::poll(fds.data(), fds.size(), PollTimeoutMs());
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            Accept();
        }
        WakeInstrument((fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0);
        ServeConnections(fds, 3);
        TellRunEnds();
        // A run that a command has just started is woken as its first wait says; one that a
        // command has ended is not woken again. Nothing is woken here: a run that ended now
        // would end untold until some client spoke again.
        ArmInstrument();
    }
}

void ScpiServer::Accept() {
    for (;;) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        const std::string address = PeerText(peer);
        if (!options.allow.Allows(peer)) {
            ServerLog::Say("接続を許可していないアドレスからの接続を閉じました：" + address);
            ::close(fd);
        } else if (connections.size() >= kMostConnections) {
            ServerLog::Say("同時接続数が上限の " + std::to_string(kMostConnections) +
                           " に達しているため接続を閉じました：" + address);
            ::close(fd);
        } else {
            // Short responses leave at once, not after the peer's acknowledgement.
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            connections.push_back(std::make_unique<ScpiConnection>(fd, instrument, address, log));
        }
    }
}

void ScpiServer::ServeConnections(const std::vector<pollfd>& ready, std::size_t first) {
    // Connections accepted during this pass have no entry yet.
    const std::size_t polled = ready.size() - first;
    for (std::size_t i = 0; i < polled; ++i) {
        const short events = ready[first + i].revents;
        ScpiConnection& connection = *connections[i];
        if (((events & (POLLIN | POLLHUP | POLLERR)) != 0 && !connection.OnReadable()) ||
            ((events & POLLOUT) != 0 && !connection.OnWritable())) {
            connections[i].reset();
        }
    }
    std::erase(connections, nullptr);
}

void ScpiServer::WakeInstrument(bool fReadable) {
    if (instrument.Running() && wakeAt && (fReadable || Clock::now() >= *wakeAt)) {
        wakeAt.reset();
        instrument.Wake();
    }
    ArmInstrument();
}

void ScpiServer::ArmInstrument() {
    if (!instrument.Running()) {
        wakeAt.reset();
        wakeFd = -1;
    } else if (!wakeAt) {
        const BlockWait::Sleep sleep = instrument.NextWait();
        wakeAt = Clock::now() + sleep.duration;
        wakeFd = sleep.fd;
    }
}

// Until none is left: a command that waited for one end may end the next run (ABORt).
void ScpiServer::TellRunEnds() {
    for (auto ends = instrument.TakeEnds(); !ends.empty(); ends = instrument.TakeEnds()) {
        for (const ScpiInstrument::RunEnd& end : ends) {
            for (auto& connection : connections) {
                if (!connection->OnRunEnded(end)) {
                    connection.reset();
                }
            }
            std::erase(connections, nullptr);
        }
    }
}

int ScpiServer::PollTimeoutMs() const {
    if (!wakeAt) {
        return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wakeAt - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}
