// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardsim/PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/SystemErrorText.h"

namespace {

constexpr std::size_t kChunkSize = 4096;
constexpr int kIdleWaitMs = 200;

std::string SystemError(const char* what) {
    return std::string(what) + "：" + SystemErrorText(errno);
}

}  // namespace

PtyServer::PtyServer(BoardSimulator& simulatedBoard) : board(simulatedBoard) {}

PtyServer::~PtyServer() {
    if (slaveFd >= 0) {
        close(slaveFd);
    }
    if (masterFd >= 0) {
        close(masterFd);
    }
}

bool PtyServer::Open(std::string* error) {
    masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (masterFd < 0 || grantpt(masterFd) != 0 || unlockpt(masterFd) != 0) {
        *error = SystemError("posix_openpt");
        return false;
    }
    const char* name = ptsname(masterFd);
    if (name == nullptr) {
        *error = SystemError("ptsname");
        return false;
    }
    slavePath = name;
    slaveFd = open(name, O_RDWR | O_NOCTTY);
    termios settings{};
    if (slaveFd < 0 || tcgetattr(slaveFd, &settings) != 0) {
        *error = SystemError(name);
        return false;
    }
    // Raw: a carriage return must stay a carriage return, and nothing is echoed.
    cfmakeraw(&settings);
    int packetMode = 1;
    if (tcsetattr(slaveFd, TCSANOW, &settings) != 0 || ioctl(masterFd, TIOCPKT, &packetMode) != 0) {
        *error = SystemError(name);
        return false;
    }
    return true;
}

bool PtyServer::Serve(const volatile std::sig_atomic_t& fStop, const sigset_t& waitMask,
                      std::string* error) {
    while (fStop == 0 && !board.Vanished()) {
        pollfd fd{masterFd, static_cast<short>(POLLIN | (backlog.empty() ? 0 : POLLOUT)), 0};
        const int waitMs = WaitTimeoutMs();
        const timespec timeout{waitMs / 1000, (waitMs % 1000) * 1000000L};
        const int ready = ppoll(&fd, 1, &timeout, &waitMask);
        if (ready < 0 && errno != EINTR) {
            *error = SystemError("ppoll");
            return false;
        }
        if (ready > 0 && (fd.revents & POLLIN) != 0 && !ReadFromClient(error)) {
            return false;
        }
        if (!WriteToClient(error)) {
            return false;
        }
    }
    return true;
}

bool PtyServer::ReadFromClient(std::string* error) {
    char packet[kChunkSize + 1];
    const ssize_t n = read(masterFd, packet, sizeof packet);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) {
            return true;
        }
        *error = SystemError("read");
        return false;
    }
    if (n == 0) {
        return true;
    }
    if (packet[0] == TIOCPKT_DATA) {
        board.Write(packet + 1, static_cast<std::size_t>(n - 1));
    } else if ((packet[0] & TIOCPKT_FLUSHREAD) != 0) {
        // The client discarded what it had not read; what we still hold must go as well.
        backlog.clear();
        board.PurgeOutput();
    }
    return true;
}

bool PtyServer::WriteToClient(std::string* error) {
    if (backlog.empty()) {
        backlog.resize(std::min(board.Available(), kChunkSize));
        backlog.resize(board.Read(backlog.data(), backlog.size()));
    }
    if (backlog.empty()) {
        return true;
    }
    const ssize_t n = write(masterFd, backlog.data(), backlog.size());
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) {
            return true;
        }
        *error = SystemError("write");
        return false;
    }
    backlog.erase(0, static_cast<std::size_t>(n));
    return true;
}

int PtyServer::WaitTimeoutMs() {
    if (backlog.empty() && board.Available() > 0) {
        return 0;
    }
    const auto next = board.NextEventTime();
    if (!next) {
        return kIdleWaitMs;
    }
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(*next - BoardSimulator::Clock::now());
    return static_cast<int>(std::clamp<long long>(wait.count(), 0, kIdleWaitMs));
}
