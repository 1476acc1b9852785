// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/web/WebServer.h"

#include <microhttpd.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>

#include "serve/ServerLog.h"

namespace {

constexpr auto kPushInterval =
    std::chrono::microseconds(1000000 / WebServer::kUpdatesPerSecond + 1000);

}  // namespace

WebServer::WebServer(ScpiInstrument& shared, Options serverOptions)
    : instrument(shared), options(std::move(serverOptions)), live(shared) {}

WebServer::~WebServer() {
    sessions.clear();
    if (daemon != nullptr) {
        MHD_stop_daemon(daemon);
    }
}

bool WebServer::Start(std::string* error) {
    std::optional<WebPageFiles> files = WebPageFiles::Load(options.pageFolder, error);
    if (!files || !listening.Listen("Web サーバー", options.listen, options.port, error)) {
        return false;
    }
    routes = std::make_unique<WebRoutes>(instrument, live, options.access, std::move(*files),
                                         WebRoutes::Ports{options.scpiPort, listening.Port()},
                                         &WebServer::Upgraded, this);
    daemon = MHD_start_daemon(
        MHD_USE_EPOLL | MHD_USE_NO_LISTEN_SOCKET | MHD_ALLOW_UPGRADE, 0, nullptr, nullptr,
        &WebServer::Access, this, MHD_OPTION_CONNECTION_LIMIT, kMostConnections,
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        kRequestMemory, MHD_OPTION_NOTIFY_COMPLETED,
        static_cast<MHD_RequestCompletedCallback>(&WebServer::Completed), this, MHD_OPTION_END);
    const MHD_DaemonInfo* info =
        daemon != nullptr ? MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_EPOLL_FD) : nullptr;
    if (info == nullptr) {
        *error = "Web サーバーを始められません";
        return false;
    }
    epollFd = info->epoll_fd;
    return true;
}

void WebServer::Descriptors(std::vector<pollfd>& fds) {
    fds.push_back({listening.Descriptor(), POLLIN, 0});
    fds.push_back({epollFd, POLLIN, 0});
    for (const auto& session : sessions) {
        fds.push_back({session->Descriptor(), session->Events(), 0});
    }
}

void WebServer::Serve(std::span<const pollfd> ready) {
    if ((ready[0].revents & POLLIN) != 0) {
        Accept();
    }
    if ((ready[1].revents & POLLIN) != 0 || HttpDue()) {
        RunHttp();
    }
    // Pages opened during this pass have no entry yet.
    for (std::size_t i = 2; i < ready.size(); ++i) {
        if (ready[i].revents != 0 && !sessions[i - 2]->OnReady(ready[i].revents)) {
            sessions[i - 2].reset();
        }
    }
    CloseEnded();
}

// The library closes a finished WebSocket's socket only when it is run.
void WebServer::CloseEnded() {
    if (std::erase(sessions, nullptr) != 0) {
        RunHttp();
    }
}

void WebServer::AfterPass() {
    live.Notice();
    if (Clock::now() >= nextPush) {
        Push();
    }
}

int WebServer::TimeoutMs() const {
    MHD_UNSIGNED_LONG_LONG httpMs = 0;
    int timeout = MHD_get_timeout(daemon, &httpMs) == MHD_YES
                      ? static_cast<int>(std::min<MHD_UNSIGNED_LONG_LONG>(httpMs, 60000))
                      : -1;
    const bool fBehind = std::any_of(sessions.begin(), sessions.end(), [this](const auto& session) {
        return live.Behind(session->page);
    });
    if (fBehind) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextPush - Clock::now());
        const int pushMs =
            static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        timeout = timeout < 0 ? pushMs : std::min(timeout, pushMs);
    }
    return timeout;
}

void WebServer::Accept() {
    std::string peer;
    sockaddr_storage address{};
    for (int fd = listening.Accept(options.allow, &peer, &address); fd >= 0;
         fd = listening.Accept(options.allow, &peer, &address)) {
        // Over the limit the library closes it at once.
        MHD_add_connection(
            daemon, fd, reinterpret_cast<const sockaddr*>(&address),
            address.ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
    }
    RunHttp();
}

void WebServer::RunHttp() {
    MHD_run(daemon);
}

bool WebServer::HttpDue() const {
    MHD_UNSIGNED_LONG_LONG httpMs = 0;
    return MHD_get_timeout(daemon, &httpMs) == MHD_YES && httpMs == 0;
}

// Each page gets what it has not seen, unless its last update still waits for it.
void WebServer::Push() {
    const Clock::time_point now = Clock::now();
    bool fSent = false;
    for (auto& session : sessions) {
        if (session->Stuck(now)) {
            ServerLog::Say("読まれないライブ表示の接続を閉じました");
            session.reset();
        } else if (session->Free()) {
            const std::string message = live.Update(session->page);
            if (!message.empty()) {
                session->Send(message);
                fSent = true;
            }
        }
    }
    CloseEnded();
    if (fSent) {
        nextPush = now + kPushInterval;
    }
}

MHD_Result WebServer::Access(void* self, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char*, std::size_t* uploadSize,
                             void** request) {
    if (*request == nullptr) {
        *request = new WebRoutes::Request;
        return MHD_YES;
    }
    auto& state = *static_cast<WebRoutes::Request*>(*request);
    if (*uploadSize != 0) {
        state.bodyBytes += *uploadSize;
        *uploadSize = 0;
        return MHD_YES;
    }
    return static_cast<WebServer*>(self)->routes->Respond(connection, url, method, state);
}

void WebServer::Completed(void*, MHD_Connection*, void** request, MHD_RequestTerminationCode) {
    delete static_cast<WebRoutes::Request*>(*request);
    *request = nullptr;
}

void WebServer::Upgraded(void* self, MHD_Connection*, void* request, const char* extra,
                         std::size_t extraSize, MHD_socket fd, MHD_UpgradeResponseHandle* handle) {
    auto& server = *static_cast<WebServer*>(self);
    const auto& state = *static_cast<WebRoutes::Request*>(request);
    if (server.sessions.size() >= kMostPages) {
        MHD_upgrade_action(handle, MHD_UPGRADE_ACTION_CLOSE);
        return;
    }
    server.sessions.push_back(std::make_unique<WebSocketSession>(
        fd, handle, std::string(extra, extraSize), state.control));
    server.nextPush = Clock::now();
}
