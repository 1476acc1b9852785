// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "serve/AllowList.h"
#include "serve/ListeningSocket.h"
#include "serve/LoopGuest.h"
#include "serve/ScpiConnection.h"
#include "serve/ServerLog.h"

// The instrument on a TCP port: one poll() loop over the listening socket, the connections,
// the board's readiness while a run goes on, a stop descriptor and the guests it hosts (the
// web page). Everything runs on the calling thread; the board's replies at the start of a run
// are the only waits in it.
class ScpiServer {
public:
    static constexpr std::size_t kMostConnections = 16;

    struct Options {
        std::string listen = "127.0.0.1";
        std::uint16_t port = 5025;  // 0: any free port
        AllowList allow;
        bool fQuiet = false;  // no line for each connection opened and closed, nor its errors
    };

    ScpiServer(ScpiInstrument& instrument, Options options);
    ScpiServer(const ScpiServer&) = delete;
    ScpiServer& operator=(const ScpiServer&) = delete;

    // Opens the listening socket and says where on standard error; false with the reason in
    // `error`.
    bool Listen(std::string* error);
    std::uint16_t Port() const { return listening.Port(); }
    // `guest` is served in the same loop from now on; it outlives the server's Serve.
    void Host(LoopGuest& guest) { guests.push_back(&guest); }
    // Serves until `stopFd` becomes readable.
    void Serve(int stopFd);

private:
    using Clock = std::chrono::steady_clock;

    void Accept();
    void ServeConnections(std::span<const pollfd> ready, std::size_t first);
    // A wake when the driver announced data or the run's sleep is over, then the next sleep.
    void WakeInstrument(bool fReadable);
    // The next sleep of a run that has none yet; none for a run that ended.
    void ArmInstrument();
    void TellRunEnds();
    int PollTimeoutMs() const;

    ScpiInstrument& instrument;
    Options options;
    ServerLog log;
    ListeningSocket listening;
    std::vector<LoopGuest*> guests;
    std::vector<std::unique_ptr<ScpiConnection>> connections;
    // While a run goes on: when and on what the instrument is to be woken next.
    std::optional<Clock::time_point> wakeAt;
    int wakeFd = -1;
};
