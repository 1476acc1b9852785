// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <wslay/wslay.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "serve/web/LiveView.h"

struct MHD_UpgradeResponseHandle;

// One live view page's WebSocket, framed by wslay on the socket the HTTP library handed over
// after the handshake, served by the server's loop. The page says one thing, its chart's width
// ("columns 800"); anything else closes the connection. At most one update waits for the page
// at a time, so a page that does not read costs no memory, and one that reads nothing for
// kStuckSeconds is closed.
class WebSocketSession {
public:
    static constexpr std::size_t kLongestMessage = 64;
    static constexpr std::int64_t kMostColumns = 8192;
    static constexpr int kStuckSeconds = 10;

    // `pending`: bytes the HTTP library read past the handshake.
    WebSocketSession(int fd, MHD_UpgradeResponseHandle* handle, std::string pending,
                     ControlAccess::Note control);
    ~WebSocketSession();
    WebSocketSession(const WebSocketSession&) = delete;
    WebSocketSession& operator=(const WebSocketSession&) = delete;

    // Sec-WebSocket-Accept for the page's Sec-WebSocket-Key.
    static std::string AcceptKey(const std::string& key);

    int Descriptor() const { return fd; }
    short Events() const;
    // False once the connection is over.
    bool OnReady(short revents);
    // Whether an update may be queued now: none waits.
    bool Free() const;
    void Send(const std::string& message);
    // An update has waited longer than kStuckSeconds.
    bool Stuck(std::chrono::steady_clock::time_point now) const;

    LiveView::Page page;

private:
    static ssize_t Receive(wslay_event_context_ptr context, std::uint8_t* buffer,
                           std::size_t length, int flags, void* self);
    static ssize_t Transmit(wslay_event_context_ptr context, const std::uint8_t* data,
                            std::size_t length, int flags, void* self);
    static void OnMessage(wslay_event_context_ptr context,
                          const wslay_event_on_msg_recv_arg* message, void* self);
    void Refuse();

    int fd;
    MHD_UpgradeResponseHandle* handle;
    std::string pending;
    wslay_event_context_ptr context = nullptr;
    std::chrono::steady_clock::time_point waitingSince;
};
