// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiConnection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

constexpr std::size_t kReadSize = 64 * 1024;

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

ScpiConnection::ScpiConnection(int socket, ScpiInstrument& instrument, std::string peerText,
                               const ServerLog& serverLog)
    : fd(socket), peer(std::move(peerText)), log(serverLog), interpreter(instrument, [this] {
          log.SayAboutConnection("ボードのエラーで計測が失敗しました：" + peer);
      }) {
    log.SayAboutConnection("接続しました：" + peer);
}

ScpiConnection::~ScpiConnection() {
    ::close(fd);
    log.SayAboutConnection("切断しました：" + peer);
}

short ScpiConnection::Events() const {
    short events = 0;
    // Input is taken while it can be held: one whole message, or the part of an over-long one
    // that is being discarded.
    if (!fPeerClosed && input.size() <= kLongestMessage) {
        events |= POLLIN;
    }
    if (sent < output.size()) {
        events |= POLLOUT;
    }
    return events;
}

bool ScpiConnection::OnReadable() {
    char buffer[kReadSize];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got == 0) {
        fPeerClosed = true;
    } else if (got < 0) {
        if (!WouldBlock(errno)) {
            return false;
        }
    } else {
        input.append(buffer, static_cast<std::size_t>(got));
    }
    ExecuteMessages();
    return Flush() && !Over();
}

bool ScpiConnection::OnWritable() {
    if (!Flush()) {
        return false;
    }
    ExecuteMessages();
    return Flush() && !Over();
}

bool ScpiConnection::OnRunEnded(const ScpiInstrument::RunEnd& end) {
    interpreter.RunEnded(end, output);
    ExecuteMessages();
    return Flush() && !Over();
}

void ScpiConnection::ExecuteMessages() {
    std::size_t taken = 0;
    while (!interpreter.Waiting() && output.size() - sent < kMostWaitingOutput) {
        const std::size_t end = input.find('\n', taken);
        if (end == std::string::npos) {
            break;
        }
        std::string_view message(input.data() + taken, end - taken);
        taken = end + 1;
        // Whether its start was dropped or it came whole in one read.
        if (fDiscarding || message.size() > kLongestMessage) {
            fDiscarding = false;
            interpreter.Error(ScpiError::kTooMuchData);
            continue;
        }
        if (message.ends_with('\r')) {
            message.remove_suffix(1);
        }
        interpreter.Receive(message, output);
    }
    input.erase(0, taken);
    // No line end within the longest message: what came is dropped, and so is the rest up to
    // the line end.
    if (!interpreter.Waiting() && input.size() > kLongestMessage &&
        input.find('\n') == std::string::npos) {
        input.clear();
        fDiscarding = true;
    }
}

bool ScpiConnection::Flush() {
    while (sent < output.size()) {
        const ssize_t written =
            ::send(fd, output.data() + sent, output.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written < 0) {
            return WouldBlock(errno);
        }
        sent += static_cast<std::size_t>(written);
    }
    // A long response's room is given back once it has gone.
    if (output.capacity() > kMostWaitingOutput) {
        std::string().swap(output);
    }
    output.clear();
    sent = 0;
    return true;
}

bool ScpiConnection::Over() const {
    return fPeerClosed && !interpreter.Waiting() && sent == output.size() &&
           input.find('\n') == std::string::npos;
}
