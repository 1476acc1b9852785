// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <microhttpd.h>

#include "serve/AllowList.h"
#include "serve/ListeningSocket.h"
#include "serve/LoopGuest.h"
#include "serve/web/LiveView.h"
#include "serve/web/WebRoutes.h"
#include "serve/web/WebSocketSession.h"

// The instrument's web page beside its SCPI port, in the SCPI server's loop: HTTP through
// libmicrohttpd run from that loop (its epoll descriptor among the loop's, our own listening
// socket and allow list handing it the connections), the live view pages' WebSockets through
// wslay, and their updates at most kUpdatesPerSecond.
class WebServer : public LoopGuest {
public:
    static constexpr unsigned kMostConnections = 128;
    static constexpr std::size_t kMostPages = 32;
    static constexpr int kUpdatesPerSecond = 30;
    static constexpr unsigned kIdleSeconds = 15;          // an HTTP connection that says nothing
    static constexpr std::size_t kRequestMemory = 32768;  // a request's header lines at most

    struct Options {
        std::string listen = "127.0.0.1";
        std::uint16_t port = 8080;  // 0: any free port
        AllowList allow;
        ControlAccess access;
        std::uint16_t scpiPort = 5025;
        std::string pageFolder;
    };

    WebServer(ScpiInstrument& instrument, Options options);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Reads the page's files and listens; false with the reason in `error`.
    bool Start(std::string* error);
    std::uint16_t Port() const { return listening.Port(); }

    void Descriptors(std::vector<pollfd>& fds) override;
    void Serve(std::span<const pollfd> ready) override;
    void AfterPass() override;
    int TimeoutMs() const override;

private:
    using Clock = std::chrono::steady_clock;

    static MHD_Result Access(void* self, MHD_Connection* connection, const char* url,
                             const char* method, const char* version, const char* upload,
                             std::size_t* uploadSize, void** request);
    static void Completed(void* self, MHD_Connection* connection, void** request,
                          MHD_RequestTerminationCode why);
    static void Upgraded(void* self, MHD_Connection* connection, void* request, const char* extra,
                         std::size_t extraSize, MHD_socket fd, MHD_UpgradeResponseHandle* handle);
    void Accept();
    void RunHttp();
    void CloseEnded();
    void Push();
    bool HttpDue() const;

    ScpiInstrument& instrument;
    Options options;
    ListeningSocket listening;
    LiveView live;
    std::unique_ptr<WebRoutes> routes;
    MHD_Daemon* daemon = nullptr;
    int epollFd = -1;
    std::vector<std::unique_ptr<WebSocketSession>> sessions;
    Clock::time_point nextPush;
};
