// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

ScpiServer::ScpiServer(ScpiInstrument& shared, Options serverOptions)
    : instrument(shared), options(std::move(serverOptions)), log(options.fQuiet) {}

bool ScpiServer::Listen(std::string* error) {
    return listening.Listen("SCPI サーバー", options.listen, options.port, error);
}

void ScpiServer::Serve(int stopFd) {
    std::vector<pollfd> fds;
    for (;;) {
        fds.assign({{stopFd, POLLIN, 0}, {listening.Descriptor(), POLLIN, 0}, {wakeFd, POLLIN, 0}});
        for (const auto& connection : connections) {
            fds.push_back({connection->Descriptor(), connection->Events(), 0});
        }
        const std::size_t served = fds.size();
        std::vector<std::size_t> firsts;
        for (LoopGuest* guest : guests) {
            firsts.push_back(fds.size());
            guest->Descriptors(fds);
        }
        firsts.push_back(fds.size());
        ::poll(fds.data(), fds.size(), PollTimeoutMs());
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            Accept();
        }
        WakeInstrument((fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0);
        ServeConnections(std::span(fds.data(), served), 3);
        for (std::size_t i = 0; i < guests.size(); ++i) {
            guests[i]->Serve(std::span(fds.data() + firsts[i], firsts[i + 1] - firsts[i]));
        }
        TellRunEnds();
        for (LoopGuest* guest : guests) {
            guest->AfterPass();
        }
        // A run that a command has just started is woken as its first wait says; one that a
        // command has ended is not woken again. Nothing is woken here: a run that ended now
        // would end untold until some client spoke again.
        ArmInstrument();
    }
}

void ScpiServer::Accept() {
    std::string address;
    sockaddr_storage peer{};
    for (int fd = listening.Accept(options.allow, &address, &peer); fd >= 0;
         fd = listening.Accept(options.allow, &address, &peer)) {
        if (connections.size() >= kMostConnections) {
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

void ScpiServer::ServeConnections(std::span<const pollfd> ready, std::size_t first) {
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
    int timeout = -1;
    if (wakeAt) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wakeAt - Clock::now());
        timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    // The shortest wait of all, -1 counting as none.
    for (const LoopGuest* guest : guests) {
        const int guestTimeout = guest->TimeoutMs();
        if (guestTimeout >= 0 && (timeout < 0 || guestTimeout < timeout)) {
            timeout = guestTimeout;
        }
    }
    return timeout;
}
