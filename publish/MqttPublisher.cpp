// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/MqttPublisher.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "publish/IntervalFormat.h"

namespace {

using namespace std::chrono_literals;

// How often a connected client looks at its keep-alive when nothing else happens.
constexpr auto kMiscPeriod = 5s;
constexpr const char* kSystemCertificates = "/etc/ssl/certs";

void InitialiseLibrary() {
    static const int initialised = mosquitto_lib_init();
    static_cast<void>(initialised);
}

std::string RefusalText(int rc) {
    switch (rc) {
        case 1:
            return "ブローカーがプロトコルの版を受け付けませんでした";
        case 2:
            return "ブローカーがクライアント ID を受け付けませんでした";
        case 3:
            return "ブローカーが利用できません";
        case 4:
            return "ユーザー名かパスワードが正しくありません";
        case 5:
            return "ログインを拒否されました（ユーザー名かパスワードが正しくないか、許可がありませ"
                   "ん）";
        default:
            return mosquitto_connack_string(rc);
    }
}

std::string ErrnoText(int error) {
    switch (error) {
        case ECONNREFUSED:
            return "接続を拒否されました（ブローカーが動いていないか、ポート番号が違います）";
        case ETIMEDOUT:
            return "時間内に応答がありません";
        case EHOSTUNREACH:
        case ENETUNREACH:
            return "ホストに届きません";
        case ECONNRESET:
        case EPIPE:
            return "ブローカーが接続を閉じました";
        default:
            return std::strerror(error);
    }
}

// Why a connection under way failed, where the socket says so (a TLS client may not look).
int SocketError(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 ? error : errno;
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
    while (state == State::Connecting && !fAborted) {
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
    if (!Configure()) {
        Failed(ReasonOf(MOSQ_ERR_ERRNO, errno), now);
        return;
    }
    const int rc = mosquitto_connect_async(client, settings.address.host.c_str(),
                                           settings.address.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        Failed(ReasonOf(rc, errno), now);
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
        if (const int error = SocketError(mosquitto_socket(client)); error != 0) {
            Failed(ErrnoText(error), now);
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
    } else if (rc != MOSQ_ERR_SUCCESS) {
        Failed(ReasonOf(rc, error), now);
    } else if (state == State::Connecting && now >= connectDeadline) {
        Failed(ErrnoText(ETIMEDOUT), now);
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

void MqttPublisher::Failed(const std::string& reason, Clock::time_point now) {
    const bool fWasConnected = state == State::Connected;
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
        case MOSQ_ERR_ERRNO:
            return ErrnoText(error);
        case MOSQ_ERR_EAI:
            return "ホスト名 " + settings.address.host + " が見つかりません";
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE:
            if (logError.find("certificate verify failed") != std::string::npos) {
                return "ブローカーの証明書を検証できませんでした（" + logError + "）";
            }
            return "TLS の接続に失敗しました" + (logError.empty() ? "" : "（" + logError + "）");
        case MOSQ_ERR_CONN_LOST:
            return ErrnoText(ECONNRESET);
        case MOSQ_ERR_KEEPALIVE:
            return "ブローカーの応答がありません";
        default:
            return mosquitto_strerror(rc);
    }
}

void MqttPublisher::OnConnect(mosquitto*, void* self, int rc) {
    auto* publisher = static_cast<MqttPublisher*>(self);
    if (rc == 0) {
        publisher->Connected();
    } else {
        publisher->refusal = RefusalText(rc);
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
