// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "publish/BrokerRoutes.h"
#include "publish/MqttAddress.h"

struct mosquitto;

// The way to an MQTT broker through libmosquitto, turned by one thread at a time. An attempt
// goes to each of the broker's addresses in turn, the next at once when one fails; the next
// round follows 1 s after a loss, after a failure twice as long as the time before, up to 30 s.
// No attempt blocks: its socket is waited on with a wake-up and the caller's abort descriptor,
// 10 s at most. Every attempt takes a fresh client, so that nothing of a lost connection is sent
// again behind its owner's back. A loss is told in one line, a failure once for each new reason.
// libmosquitto's own loop (mosquitto_loop_start) cannot keep this: its reconnection tells nothing
// of an attempt that failed, waits 1, 4, 9 ... s, connects blocking, stops for good after a TLS
// failure, and spins on a refused TLS connection.
class MqttConnection {
public:
    using Clock = std::chrono::steady_clock;
    using Notice = std::function<void(const std::string&)>;

    static constexpr std::chrono::seconds kFirstRetry{1};
    static constexpr std::chrono::seconds kLastRetry{30};
    static constexpr std::chrono::seconds kConnectTimeout{10};
    static constexpr int kKeepAliveSeconds = 30;

    struct Broker {
        MqttAddress address;
        std::string caFile;  // TLS: the authority of the broker's certificate; empty: the system's
        std::string user;    // empty: no login
        std::string password;
        BrokerRoutes::Resolver resolve = BrokerRoutes::Resolve;
    };

    // What the owner hears, on the thread that turns the connection.
    struct Events {
        std::function<void()> connected;         // logged in
        std::function<void(int mid)> confirmed;  // the broker has message `mid`
        std::function<void()> dropped;  // gone, and with it what the broker had not confirmed
    };

    // `willTopic` gets "offline", retained, when the broker loses the client.
    MqttConnection(Broker broker, std::string clientId, std::string willTopic, Notice notice,
                   Events events);
    ~MqttConnection();
    MqttConnection(const MqttConnection&) = delete;
    MqttConnection& operator=(const MqttConnection&) = delete;

    // Each address once: false with the cause in `reason`, or with no reason when `abortFd`
    // became readable first.
    bool Connect(int abortFd, std::string& reason);
    // An attempt when one is due, then a wait until something happens (at most until `until`),
    // and what happened.
    void Turn(Clock::time_point until);
    // From any thread: the wait of the turning thread ends.
    void Wake();
    bool Connected() const { return state == State::Connected; }
    // At QoS 1: the message id, 0 when the client could not take it.
    int Send(const std::string& topic, const std::string& payload, bool fRetain);
    // Disconnects when connected; the client goes.
    void Close();

private:
    enum class State { Idle, Connecting, Connected };

    static void OnConnect(mosquitto* client, void* self, int rc);
    static void OnPublish(mosquitto* client, void* self, int mid);
    static void OnLog(mosquitto* client, void* self, int level, const char* text);

    void Begin(Clock::time_point now);
    bool Configure();
    // The socket's events; `fAborted` tells whether `abortFd` became readable.
    short Wait(Clock::time_point until, int abortFd);
    void Service(short socketEvents, Clock::time_point now);
    void LoggedIn();
    // One of the broker's addresses failed: the next one, or after the last the failure.
    void AddressFailed(const std::string& reason, Clock::time_point now);
    // Between two addresses of one round of attempts.
    bool AddressLeft() const;
    void Drop();
    void Failed(const std::string& reason, Clock::time_point now);
    std::string ReasonOf(int rc, int error) const;

    Broker broker;
    std::string clientId;
    std::string willTopic;
    Notice notice;
    Events events;
    int wakeFd = -1;

    mosquitto* client = nullptr;  // none while Idle
    State state = State::Idle;
    bool fStarting = false;
    bool fAborted = false;
    Clock::time_point nextAttempt{};
    Clock::time_point connectDeadline{};
    Clock::duration retryDelay = kFirstRetry;
    std::string refusal;     // the broker's answer when it refused the login
    std::string logError;    // the client library's last error (OpenSSL's reason)
    std::string lastReason;  // the last failure told

    // The ways to the broker in this round of attempts; 0: the next attempt begins a round.
    std::vector<BrokerRoutes::Route> routes;
    std::size_t nextRoute = 0;
};
