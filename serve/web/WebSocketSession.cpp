// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/web/WebSocketSession.h"

#include <microhttpd.h>
#include <nettle/base64.h>
#include <nettle/sha1.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

namespace {

// RFC 6455's fixed key suffix.
constexpr std::string_view kHandshakeGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
constexpr std::uint16_t kUnsupportedData = 1003;

}  // namespace

WebSocketSession::WebSocketSession(int socket, MHD_UpgradeResponseHandle* upgrade,
                                   std::string extra, ControlAccess::Note control)
    : fd(socket), handle(upgrade), pending(std::move(extra)) {
    page.control = std::move(control);
    const wslay_event_callbacks callbacks = {Receive, Transmit, nullptr,  nullptr,
                                             nullptr, nullptr,  OnMessage};
    wslay_event_context_server_init(&context, &callbacks, this);
    wslay_event_config_set_max_recv_msg_length(context, kLongestMessage);
}

WebSocketSession::~WebSocketSession() {
    wslay_event_context_free(context);
    MHD_upgrade_action(handle, MHD_UPGRADE_ACTION_CLOSE);
}

std::string WebSocketSession::AcceptKey(const std::string& key) {
    const std::string text = key + std::string(kHandshakeGuid);
    sha1_ctx hash;
    sha1_init(&hash);
    sha1_update(&hash, text.size(), reinterpret_cast<const std::uint8_t*>(text.data()));
    std::uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&hash, sizeof digest, digest);
    char encoded[BASE64_ENCODE_RAW_LENGTH(SHA1_DIGEST_SIZE)];
    base64_encode_raw(encoded, sizeof digest, digest);
    return {encoded, sizeof encoded};
}

short WebSocketSession::Events() const {
    return static_cast<short>((wslay_event_want_read(context) ? POLLIN : 0) |
                              (wslay_event_want_write(context) ? POLLOUT : 0));
}

bool WebSocketSession::OnReady(short revents) {
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0 && wslay_event_recv(context) != 0) {
        return false;
    }
    if ((revents & POLLOUT) != 0 && wslay_event_send(context) != 0) {
        return false;
    }
    // Once its close has gone out, a refused page is not waited for.
    if (wslay_event_get_close_sent(context) && !wslay_event_want_write(context)) {
        return false;
    }
    return wslay_event_want_read(context) || wslay_event_want_write(context);
}

bool WebSocketSession::Free() const {
    return wslay_event_get_queued_msg_count(context) == 0 && !wslay_event_want_write(context);
}

void WebSocketSession::Send(const std::string& message) {
    const wslay_event_msg frame = {
        WSLAY_TEXT_FRAME, reinterpret_cast<const std::uint8_t*>(message.data()), message.size()};
    wslay_event_queue_msg(context, &frame);
    waitingSince = std::chrono::steady_clock::now();
    wslay_event_send(context);
}

bool WebSocketSession::Stuck(std::chrono::steady_clock::time_point now) const {
    return !Free() && now - waitingSince > std::chrono::seconds(kStuckSeconds);
}

ssize_t WebSocketSession::Receive(wslay_event_context_ptr context, std::uint8_t* buffer,
                                  std::size_t length, int, void* self) {
    auto& session = *static_cast<WebSocketSession*>(self);
    if (!session.pending.empty()) {
        const std::size_t taken = std::min(length, session.pending.size());
        std::memcpy(buffer, session.pending.data(), taken);
        session.pending.erase(0, taken);
        return static_cast<ssize_t>(taken);
    }
    const ssize_t got = ::recv(session.fd, buffer, length, 0);
    if (got > 0) {
        return got;
    }
    const bool fWait = got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    wslay_event_set_error(context, fWait ? WSLAY_ERR_WOULDBLOCK : WSLAY_ERR_CALLBACK_FAILURE);
    return -1;
}

ssize_t WebSocketSession::Transmit(wslay_event_context_ptr context, const std::uint8_t* data,
                                   std::size_t length, int, void* self) {
    const ssize_t sent =
        ::send(static_cast<WebSocketSession*>(self)->fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0) {
        return sent;
    }
    const bool fWait = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    wslay_event_set_error(context, fWait ? WSLAY_ERR_WOULDBLOCK : WSLAY_ERR_CALLBACK_FAILURE);
    return -1;
}

void WebSocketSession::OnMessage(wslay_event_context_ptr,
                                 const wslay_event_on_msg_recv_arg* message, void* self) {
    auto& session = *static_cast<WebSocketSession*>(self);
    if (message->opcode != WSLAY_TEXT_FRAME) {
        // Pings and the close are wslay's to answer; binary data means nothing here.
        if (message->opcode == WSLAY_BINARY_FRAME) {
            session.Refuse();
        }
        return;
    }
    const std::string_view text(reinterpret_cast<const char*>(message->msg), message->msg_length);
    constexpr std::string_view kColumns = "columns ";
    std::int64_t columns = 0;
    const char* end = text.data() + text.size();
    if (!text.starts_with(kColumns) ||
        std::from_chars(text.data() + kColumns.size(), end, columns).ptr != end || columns < 1 ||
        columns > kMostColumns) {
        session.Refuse();
        return;
    }
    session.page.columns = columns;
}

void WebSocketSession::Refuse() {
    static constexpr std::string_view kReason = "unknown message";
    wslay_event_queue_close(context, kUnsupportedData,
                            reinterpret_cast<const std::uint8_t*>(kReason.data()), kReason.size());
}
