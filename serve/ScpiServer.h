// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serve/AllowList.h"
#include "serve/ScpiConnection.h"
#include "serve/ServerLog.h"

// The instrument on a TCP port: one poll() loop over the listening socket, the connections,
// the board's readiness while a run goes on, and a stop descriptor. Everything runs on the
// calling thread; the board's replies at the start of a run are the only waits in it.
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
    ~ScpiServer();
    ScpiServer(const ScpiServer&) = delete;
    ScpiServer& operator=(const ScpiServer&) = delete;

    // Opens the listening socket and says where on standard error; false with the reason in
    // `error`.
    bool Listen(std::string* error);
    std::uint16_t Port() const { return port; }
    // Serves until `stopFd` becomes readable.
    void Serve(int stopFd);

private:
    using Clock = std::chrono::steady_clock;

    void Accept();
    void ServeConnections(const std::vector<pollfd>& ready, std::size_t first);
    // A wake when the driver announced data or the run's sleep is over, then the next sleep.
    void WakeInstrument(bool fReadable);
    // The next sleep of a run that has none yet; none for a run that ended.
    void ArmInstrument();
    void TellRunEnds();
    int PollTimeoutMs() const;

    ScpiInstrument& instrument;
    Options options;
    ServerLog log;
    int listenFd = -1;
    std::uint16_t port = 0;
    std::vector<std::unique_ptr<ScpiConnection>> connections;
    // While a run goes on: when and on what the instrument is to be woken next.
    std::optional<Clock::time_point> wakeAt;
    int wakeFd = -1;
};
