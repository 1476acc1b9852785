// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/MqttConnection.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "publish/MqttReason.h"

namespace {

using namespace std::chrono_literals;

// How often a connected client looks at its keep-alive when nothing else happens.
constexpr auto kMiscPeriod = 5s;
constexpr const char* kSystemCertificates = "/etc/ssl/certs";

void InitialiseLibrary() {
    static const int initialised = mosquitto_lib_init();
    static_cast<void>(initialised);
}

// Why a connection under way failed, where the socket says so; 0 while it may go on. A TLS
// client writes its first handshake message at once and so takes the error of a refused
// connection itself: a socket hung up before it was ever connected was refused.
int ConnectError(int fd, short events) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return errno;
    }
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    const bool fNeverConnected =
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 && errno == ENOTCONN;
    return error == 0 && (events & POLLHUP) != 0 && fNeverConnected ? ECONNREFUSED : error;
}

int Milliseconds(std::chrono::steady_clock::duration duration) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(duration).count();
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, 60000));
}

}  // namespace

MqttConnection::MqttConnection(Broker to, std::string id, std::string will, Notice tell,
                               Events hear)
    : broker(std::move(to)),
      clientId(std::move(id)),
      willTopic(std::move(will)),
      notice(std::move(tell)),
      events(std::move(hear)),
      wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    InitialiseLibrary();
}

MqttConnection::~MqttConnection() {
    Close();
    if (wakeFd >= 0) {
        close(wakeFd);
    }
}

bool MqttConnection::Connect(int abortFd, std::string& reason) {
    fStarting = true;
    Begin(Clock::now());
    while (!fAborted && (state == State::Connecting || AddressLeft())) {
        if (state == State::Idle) {
            Begin(Clock::now());
        } else {
            Service(Wait(Clock::time_point::max(), abortFd), Clock::now());
        }
    }
    fStarting = false;
    if (state == State::Connected) {
        return true;
    }
    reason = fAborted ? std::string() : lastReason;
    Close();
    return false;
}

void MqttConnection::Turn(Clock::time_point until) {
    if (state == State::Idle && Clock::now() >= nextAttempt) {
        Begin(Clock::now());
    }
    Service(Wait(until, -1), Clock::now());
}

void MqttConnection::Wake() {
    const std::uint64_t one = 1;
    static_cast<void>(write(wakeFd, &one, sizeof one));
}

int MqttConnection::Send(const std::string& topic, const std::string& payload, bool fRetain) {
    int mid = 0;
    const int rc = mosquitto_publish(client, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), 1, fRetain);
    return rc == MOSQ_ERR_SUCCESS ? mid : 0;
}

void MqttConnection::Close() {
    if (state == State::Connected) {
        mosquitto_disconnect(client);
        mosquitto_loop_write(client, 1);
    }
    mosquitto_destroy(client);
    client = nullptr;
    state = State::Idle;
}

void MqttConnection::Begin(Clock::time_point now) {
    refusal.clear();
    logError.clear();
    if (nextRoute == 0) {
        // Each round asks for the name afresh: the broker may have moved.
        routes = BrokerRoutes::Of(broker.address, broker.resolve(broker.address.host));
        if (routes.empty()) {
            Failed(ReasonOf(MOSQ_ERR_EAI, 0), now);
            return;
        }
    }
    const BrokerRoutes::Route& route = routes[nextRoute++];
    if (!Configure()) {
        Failed(ReasonOf(MOSQ_ERR_ERRNO, errno), now);
        return;
    }
    const int rc = mosquitto_connect_bind_async(
        client, route.host.c_str(), broker.address.port, kKeepAliveSeconds,
        route.bindAddress.empty() ? nullptr : route.bindAddress.c_str());
    if (rc != MOSQ_ERR_SUCCESS) {
        AddressFailed(ReasonOf(rc, errno), now);
        return;
    }
    state = State::Connecting;
    connectDeadline = now + kConnectTimeout;
}

bool MqttConnection::Configure() {
    client = mosquitto_new(clientId.c_str(), true, this);
    if (client == nullptr) {
        return false;
    }
    mosquitto_connect_callback_set(client, &MqttConnection::OnConnect);
    mosquitto_publish_callback_set(client, &MqttConnection::OnPublish);
    mosquitto_log_callback_set(client, &MqttConnection::OnLog);
    const std::string offline = "offline";
    bool fOk = mosquitto_will_set(client, willTopic.c_str(), static_cast<int>(offline.size()),
                                  offline.data(), 1, true) == MOSQ_ERR_SUCCESS;
    if (!broker.user.empty()) {
        fOk = fOk &&
              mosquitto_username_pw_set(
                  client, broker.user.c_str(),
                  broker.password.empty() ? nullptr : broker.password.c_str()) == MOSQ_ERR_SUCCESS;
    }
    if (broker.address.fTls) {
        const bool fOwnCa = !broker.caFile.empty();
        fOk = fOk && mosquitto_tls_set(client, fOwnCa ? broker.caFile.c_str() : nullptr,
                                       fOwnCa ? nullptr : kSystemCertificates, nullptr, nullptr,
                                       nullptr) == MOSQ_ERR_SUCCESS;
    }
    return fOk;
}

short MqttConnection::Wait(Clock::time_point until, int abortFd) {
    const Clock::time_point now = Clock::now();
    if (state == State::Idle) {
        until = std::min(until, nextAttempt);
    } else {
        until = std::min(until, state == State::Connecting ? connectDeadline : now + kMiscPeriod);
    }
    pollfd fds[3] = {{wakeFd, POLLIN, 0}, {abortFd, POLLIN, 0}, {-1, 0, 0}};
    if (state != State::Idle) {
        const bool fWrite = mosquitto_want_write(client);
        fds[2] = {mosquitto_socket(client), static_cast<short>(POLLIN | (fWrite ? POLLOUT : 0)), 0};
    }
    poll(fds, 3, Milliseconds(until - now));
    std::uint64_t count = 0;
    static_cast<void>(read(wakeFd, &count, sizeof count));
    fAborted = (fds[1].revents & POLLIN) != 0;
    return fds[2].fd >= 0 ? fds[2].revents : 0;
}

void MqttConnection::Service(short socketEvents, Clock::time_point now) {
    if (state == State::Idle) {
        return;
    }
    if (state == State::Connecting && (socketEvents & (POLLERR | POLLHUP)) != 0) {
        if (const int error = ConnectError(mosquitto_socket(client), socketEvents); error != 0) {
            AddressFailed(MqttReason::System(error), now);
            return;
        }
    }
    int rc = MOSQ_ERR_SUCCESS;
    if ((socketEvents & (POLLIN | POLLERR | POLLHUP)) != 0) {
        rc = mosquitto_loop_read(client, 1);
    }
    if (rc == MOSQ_ERR_SUCCESS && (socketEvents & POLLOUT) != 0) {
        rc = mosquitto_loop_write(client, 1);
    }
    if (rc == MOSQ_ERR_SUCCESS) {
        rc = mosquitto_loop_misc(client);
    }
    const int error = errno;
    if (!refusal.empty()) {
        Failed(refusal, now);
    } else if (rc != MOSQ_ERR_SUCCESS && state == State::Connecting) {
        AddressFailed(ReasonOf(rc, error), now);
    } else if (rc != MOSQ_ERR_SUCCESS) {
        Failed(ReasonOf(rc, error), now);
    } else if (state == State::Connecting && now >= connectDeadline) {
        AddressFailed(MqttReason::System(ETIMEDOUT), now);
    }
}

void MqttConnection::LoggedIn() {
    state = State::Connected;
    retryDelay = kFirstRetry;
    lastReason.clear();
    events.connected();
}

void MqttConnection::AddressFailed(const std::string& reason, Clock::time_point now) {
    if (nextRoute < routes.size()) {
        Drop();
        nextAttempt = now;  // the broker's next address at once
        return;
    }
    Failed(reason, now);
}

bool MqttConnection::AddressLeft() const {
    return state == State::Idle && nextRoute > 0 && nextRoute < routes.size();
}

void MqttConnection::Drop() {
    state = State::Idle;
    // The socket goes now; nothing of this connection is sent again.
    mosquitto_destroy(client);
    client = nullptr;
    events.dropped();
}

void MqttConnection::Failed(const std::string& reason, Clock::time_point now) {
    const bool fWasConnected = state == State::Connected;
    Drop();
    nextRoute = 0;
    if (fWasConnected) {
        notice("MQTT：ブローカーとの接続が切れました（" + reason + "）。再接続します");
    } else if (!fStarting && reason != lastReason) {
        notice("MQTT：ブローカーに接続できません（" + reason + "）。再接続を続けます");
    }
    lastReason = reason;
    nextAttempt = now + retryDelay;
    retryDelay = std::min<Clock::duration>(retryDelay * 2, kLastRetry);
}

std::string MqttConnection::ReasonOf(int rc, int error) const {
    switch (rc) {
        case MOSQ_ERR_EAI:
            return "ホスト名 " + broker.address.host + " が見つかりません";
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE:
            if (logError.find("certificate verify failed") != std::string::npos) {
                return "ブローカーの証明書を検証できませんでした（" + logError + "）";
            }
            return "TLS の接続に失敗しました" + (logError.empty() ? "" : "（" + logError + "）");
        default:
            return MqttReason::Library(rc, error);
    }
}

void MqttConnection::OnConnect(mosquitto*, void* self, int rc) {
    auto* connection = static_cast<MqttConnection*>(self);
    if (rc == 0) {
        connection->LoggedIn();
    } else {
        connection->refusal = MqttReason::Refusal(rc);
    }
}

void MqttConnection::OnPublish(mosquitto*, void* self, int mid) {
    static_cast<MqttConnection*>(self)->events.confirmed(mid);
}

void MqttConnection::OnLog(mosquitto*, void* self, int level, const char* text) {
    if (level == MOSQ_LOG_ERR) {
        static_cast<MqttConnection*>(self)->logError = text;
    }
}
