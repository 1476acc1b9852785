// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/MqttPublisher.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "publish/IntervalFormat.h"
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

MqttPublisher::MqttPublisher(Settings publisherSettings, Notice tell)
    : settings(std::move(publisherSettings)),
      notice(std::move(tell)),
      clientId("selkoran-" + settings.id),
      statusTopic(Topic("status")),
      metaTopic(Topic("meta")),
      wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      queue(settings.queueCapacity) {
    InitialiseLibrary();
}

MqttPublisher::~MqttPublisher() {
    Finish(0ms);
    if (wakeFd >= 0) {
        close(wakeFd);
    }
}

std::string MqttPublisher::Topic(std::string_view leaf) const {
    return settings.address.prefix + '/' + settings.id + '/' + std::string(leaf);
}

std::uint64_t MqttPublisher::Dropped() const {
    const std::lock_guard lock(mutex);
    return queue.Dropped();
}

bool MqttPublisher::Connect(int abortFd, std::string& reason) {
    fStarting = true;
    fAborted = false;
    BeginConnect(Clock::now());
    while (!fAborted && (state == State::Connecting || AddressLeft())) {
        if (state == State::Idle) {
            BeginConnect(Clock::now());
            continue;
        }
        Wait(Clock::now(), abortFd);
        Service(Clock::now());
    }
    fStarting = false;
    if (state == State::Connected) {
        return true;
    }
    reason = fAborted ? std::string() : lastReason;
    Close();
    return false;
}

void MqttPublisher::Start() {
    worker = std::thread(&MqttPublisher::Run, this);
}

void MqttPublisher::SetMeta(std::string json) {
    {
        const std::lock_guard lock(mutex);
        meta = std::move(json);
        fMetaChanged = true;
    }
    Wake();
}

void MqttPublisher::Publish(std::span<const IntervalFigures> interval) {
    std::size_t droppedNow = 0;
    std::uint64_t droppedAll = 0;
    {
        const std::lock_guard lock(mutex);
        for (const IntervalFigures& figures : interval) {
            droppedNow += queue.Push(figures) ? 1 : 0;
        }
        droppedAll = queue.Dropped();
    }
    if (droppedNow > 0) {
        notice("MQTT：送信待ちが " + std::to_string(queue.Capacity()) +
               " 件を超えたため、古い統計 " + std::to_string(droppedNow) +
               " 件を破棄しました（合計 " + std::to_string(droppedAll) + " 件）");
    }
    Wake();
}

std::size_t MqttPublisher::Finish(std::chrono::milliseconds longest) {
    {
        const std::lock_guard lock(mutex);
        if (!fFinishing) {
            fFinishing = true;
            finishDeadline = Clock::now() + longest;
        }
    }
    Wake();
    if (worker.joinable()) {
        worker.join();
    } else {
        Close();
    }
    const std::lock_guard lock(mutex);
    return queue.Size();
}

void MqttPublisher::Run() {
    while (!Done(Clock::now())) {
        Turn(-1);
    }
    Close();
}

void MqttPublisher::Turn(int abortFd) {
    if (state == State::Idle && Clock::now() >= nextAttempt) {
        BeginConnect(Clock::now());
    }
    if (state == State::Connected) {
        SendWaiting();
    }
    Wait(Clock::now(), abortFd);
    Service(Clock::now());
}

void MqttPublisher::BeginConnect(Clock::time_point now) {
    refusal.clear();
    logError.clear();
    if (nextRoute == 0) {
        // Each round asks for the name afresh: the broker may have moved.
        routes = BrokerRoutes::Of(settings.address, settings.resolve(settings.address.host));
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
        client, route.host.c_str(), settings.address.port, kKeepAliveSeconds,
        route.bindAddress.empty() ? nullptr : route.bindAddress.c_str());
    if (rc != MOSQ_ERR_SUCCESS) {
        AddressFailed(ReasonOf(rc, errno), now);
        return;
    }
    state = State::Connecting;
    connectDeadline = now + kConnectTimeout;
}

bool MqttPublisher::Configure() {
    if (client == nullptr) {
        client = mosquitto_new(clientId.c_str(), true, this);
    } else if (mosquitto_reinitialise(client, clientId.c_str(), true, this) != MOSQ_ERR_SUCCESS) {
        mosquitto_destroy(client);
        client = nullptr;
    }
    if (client == nullptr) {
        return false;
    }
    mosquitto_connect_callback_set(client, &MqttPublisher::OnConnect);
    mosquitto_publish_callback_set(client, &MqttPublisher::OnPublish);
    mosquitto_log_callback_set(client, &MqttPublisher::OnLog);
    const std::string offline = "offline";
    bool fOk = mosquitto_will_set(client, statusTopic.c_str(), static_cast<int>(offline.size()),
                                  offline.data(), 1, true) == MOSQ_ERR_SUCCESS;
    if (!settings.user.empty()) {
        fOk = fOk && mosquitto_username_pw_set(
                         client, settings.user.c_str(),
                         settings.password.empty() ? nullptr : settings.password.c_str()) ==
                         MOSQ_ERR_SUCCESS;
    }
    if (settings.address.fTls) {
        const bool fOwnCa = !settings.caFile.empty();
        fOk = fOk && mosquitto_tls_set(client, fOwnCa ? settings.caFile.c_str() : nullptr,
                                       fOwnCa ? nullptr : kSystemCertificates, nullptr, nullptr,
                                       nullptr) == MOSQ_ERR_SUCCESS;
    }
    return fOk;
}

void MqttPublisher::SendWaiting() {
    std::string metaNow;
    {
        const std::lock_guard lock(mutex);
        if (fMetaChanged || !fMetaSent) {
            metaNow = meta;
            fMetaChanged = false;
        }
    }
    if (!metaNow.empty()) {
        fMetaSent = Send(statusTopic, "online", true) != 0 && Send(metaTopic, metaNow, true) != 0;
    }
    for (;;) {
        std::optional<IntervalQueue::Waiting> next;
        bool fFinishNow = false;
        {
            const std::lock_guard lock(mutex);
            next = queue.NextToSend(kWindow);
            fFinishNow = fFinishing && !queue.NextToSend(queue.Capacity());
        }
        if (!next) {
            if (fFinishNow && offlineMid == 0) {
                offlineMid = Send(statusTopic, "offline", true);
            }
            return;
        }
        const std::string topic = Topic("ch" + std::to_string(next->figures.channel) + "/stats");
        const int mid = Send(topic, Payload(next->figures), false);
        if (mid == 0) {
            return;  // the loop finds out what went wrong
        }
        const std::lock_guard lock(mutex);
        queue.Handed(next->number, mid);
    }
}

void MqttPublisher::Wait(Clock::time_point now, int abortFd) {
    Clock::time_point until = now + kMiscPeriod;
    if (state == State::Idle) {
        until = nextAttempt;
    } else if (state == State::Connecting) {
        until = connectDeadline;
    }
    {
        const std::lock_guard lock(mutex);
        if (fFinishing) {
            until = std::min(until, finishDeadline);
        }
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
    socketEvents = fds[2].fd >= 0 ? fds[2].revents : 0;
}

void MqttPublisher::Service(Clock::time_point now) {
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
    socketEvents = 0;
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

void MqttPublisher::Connected() {
    state = State::Connected;
    fMetaSent = false;
    retryDelay = kFirstRetry;
    if (fEverConnected) {
        std::size_t waiting = 0;
        {
            const std::lock_guard lock(mutex);
            waiting = queue.Size();
        }
        notice("MQTT：再接続しました（送信待ち " + std::to_string(waiting) + " 件）");
    }
    fEverConnected = true;
    lastReason.clear();
}

void MqttPublisher::AddressFailed(const std::string& reason, Clock::time_point now) {
    if (nextRoute < routes.size()) {
        Drop();
        nextAttempt = now;  // the broker's next address at once
        return;
    }
    Failed(reason, now);
}

bool MqttPublisher::AddressLeft() const {
    return state == State::Idle && nextRoute > 0 && nextRoute < routes.size();
}

void MqttPublisher::Drop() {
    state = State::Idle;
    offlineMid = 0;
    fOfflineConfirmed = false;
    {
        const std::lock_guard lock(mutex);
        queue.Unhand();
    }
    // The socket goes now; nothing of this connection is sent again.
    if (client != nullptr) {
        mosquitto_reinitialise(client, clientId.c_str(), true, this);
    }
}

void MqttPublisher::Failed(const std::string& reason, Clock::time_point now) {
    const bool fWasConnected = state == State::Connected;
    Drop();
    nextRoute = 0;
    if (fWasConnected) {
        notice("MQTT：ブローカーとの接続が切れました（" + reason + "）。再接続します");
        retryDelay = kFirstRetry;
    } else if (!fStarting && reason != lastReason) {
        notice("MQTT：ブローカーに接続できません（" + reason + "）。再接続を続けます");
    }
    lastReason = reason;
    nextAttempt = now + retryDelay;
    retryDelay = std::min<Clock::duration>(retryDelay * 2, kLastRetry);
}

bool MqttPublisher::Done(Clock::time_point now) const {
    const std::lock_guard lock(mutex);
    if (!fFinishing) {
        return false;
    }
    return now >= finishDeadline ||
           (state == State::Connected && queue.Size() == 0 && fOfflineConfirmed);
}

void MqttPublisher::Close() {
    if (client == nullptr) {
        return;
    }
    if (state == State::Connected) {
        if (offlineMid == 0) {
            Send(statusTopic, "offline", true);
        }
        mosquitto_disconnect(client);
        mosquitto_loop_write(client, 1);
    }
    mosquitto_destroy(client);
    client = nullptr;
    state = State::Idle;
}

void MqttPublisher::Wake() {
    const std::uint64_t one = 1;
    static_cast<void>(write(wakeFd, &one, sizeof one));
}

int MqttPublisher::Send(const std::string& topic, const std::string& payload, bool fRetain) {
    int mid = 0;
    const int rc = mosquitto_publish(client, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), 1, fRetain);
    return rc == MOSQ_ERR_SUCCESS ? mid : 0;
}

std::string MqttPublisher::Payload(const IntervalFigures& figures) const {
    return settings.format == Format::Json ? IntervalFormat::StatsJson(figures)
                                           : IntervalFormat::StatsInflux(figures, settings.id);
}

std::string MqttPublisher::ReasonOf(int rc, int error) const {
    switch (rc) {
        case MOSQ_ERR_EAI:
            return "ホスト名 " + settings.address.host + " が見つかりません";
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

void MqttPublisher::OnConnect(mosquitto*, void* self, int rc) {
    auto* publisher = static_cast<MqttPublisher*>(self);
    if (rc == 0) {
        publisher->Connected();
    } else {
        publisher->refusal = MqttReason::Refusal(rc);
    }
}

void MqttPublisher::OnPublish(mosquitto*, void* self, int mid) {
    auto* publisher = static_cast<MqttPublisher*>(self);
    if (mid == publisher->offlineMid) {
        publisher->fOfflineConfirmed = true;
        return;
    }
    const std::lock_guard lock(publisher->mutex);
    publisher->queue.Confirmed(mid);
}

void MqttPublisher::OnLog(mosquitto*, void* self, int level, const char* text) {
    if (level == MOSQ_LOG_ERR) {
        static_cast<MqttPublisher*>(self)->logError = text;
    }
}
