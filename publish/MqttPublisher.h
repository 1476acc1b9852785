// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "publish/BrokerRoutes.h"
#include "publish/IntervalFigures.h"
#include "publish/IntervalQueue.h"
#include "publish/MqttAddress.h"

struct mosquitto;

// A monitor's messages to an MQTT broker through libmosquitto, at QoS 1:
// - PREFIX/ID/status, retained: "online" once the run has begun (again after every
//   reconnect), "offline" at a clean end and as the broker's last will when the program dies;
// - PREFIX/ID/meta, retained: what the run measures (set by the monitor);
// - PREFIX/ID/chN/stats: each interval's figures, as JSON or as an InfluxDB line.
// The client works on a thread of its own, because resolving the broker's name and a TLS
// handshake block: the measurement never waits for the network. Stats wait in a queue of fixed
// size until the broker confirms them; a lost connection is tried again after 1 s, then after
// twice as long each time up to 30 s, and the queue goes out again in order (so a message may
// arrive twice; its seq tells). Losses, reconnects and dropped messages are told in one line each.
// A broker's name with several addresses is tried at each of them before a connection fails.
class MqttPublisher {
public:
    using Clock = std::chrono::steady_clock;
    using Notice = std::function<void(const std::string&)>;

    enum class Format { Json, Influx };

    static constexpr std::size_t kQueueCapacity = 100000;
    // Messages handed to the client before the broker confirms the first of them.
    static constexpr std::size_t kWindow = 20;
    static constexpr std::chrono::seconds kFirstRetry{1};
    static constexpr std::chrono::seconds kLastRetry{30};
    static constexpr std::chrono::seconds kConnectTimeout{10};
    static constexpr int kKeepAliveSeconds = 30;

    struct Settings {
        MqttAddress address;
        std::string id;  // the board's name in the topics
        Format format = Format::Json;
        std::string caFile;  // TLS: the authority of the broker's certificate; empty: the system's
        std::string user;    // empty: no login
        std::string password;
        std::size_t queueCapacity = kQueueCapacity;
        BrokerRoutes::Resolver resolve = BrokerRoutes::Resolve;
    };

    MqttPublisher(Settings settings, Notice notice);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Before the run, on the calling thread: connects and logs in. False with the cause in
    // `reason`, or with no reason when `abortFd` became readable first.
    bool Connect(int abortFd, std::string& reason);
    // From here on the client works on its own thread, until Finish.
    void Start();
    // The retained meta message; "online" and the meta go out now and after every reconnect.
    void SetMeta(std::string json);
    // Queues one interval's messages; never waits for the network.
    void Publish(std::span<const IntervalFigures> interval);
    // The clean end: the queue delivered within `longest`, then "offline" and a disconnect.
    // Returns the messages the broker did not confirm.
    std::size_t Finish(std::chrono::milliseconds longest);

    std::string Topic(std::string_view leaf) const;
    std::uint64_t Dropped() const;

private:
    enum class State { Idle, Connecting, Connected };

    static void OnConnect(mosquitto* client, void* self, int rc);
    static void OnPublish(mosquitto* client, void* self, int mid);
    static void OnLog(mosquitto* client, void* self, int level, const char* text);

    void Run();
    // One turn of the client's loop: a connection attempt when due, messages to send, a sleep
    // until something happens, and what happened.
    void Turn(int abortFd);
    void BeginConnect(Clock::time_point now);
    // A fresh client for every connection, so that nothing of the last one is sent again
    // behind the queue's back.
    bool Configure();
    void SendWaiting();
    void Wait(Clock::time_point now, int abortFd);
    void Service(Clock::time_point now);
    void Connected();
    // One of the broker's addresses failed: the next one, or after the last the failure.
    void AddressFailed(const std::string& reason, Clock::time_point now);
    // Between two addresses of one attempt to connect.
    bool AddressLeft() const;
    // The connection dropped: its unconfirmed messages wait to be sent again.
    void Drop();
    void Failed(const std::string& reason, Clock::time_point now);
    bool Done(Clock::time_point now) const;
    void Close();
    void Wake();
    // The message id, 0 when the client could not take it.
    int Send(const std::string& topic, const std::string& payload, bool fRetain);
    std::string Payload(const IntervalFigures& figures) const;
    std::string ReasonOf(int rc, int error) const;

    Settings settings;
    Notice notice;
    std::string clientId;
    std::string statusTopic;
    std::string metaTopic;
    int wakeFd = -1;
    std::thread worker;

    // The client's own, used by one thread at a time (Connect's caller, then the worker).
    mosquitto* client = nullptr;
    State state = State::Idle;
    bool fStarting = false;
    bool fAborted = false;
    bool fEverConnected = false;
    bool fMetaSent = false;
    short socketEvents = 0;
    int offlineMid = 0;
    bool fOfflineConfirmed = false;
    Clock::time_point nextAttempt{};
    Clock::time_point connectDeadline{};
    Clock::duration retryDelay = kFirstRetry;
    std::string refusal;     // the broker's answer when it refused the login
    std::string logError;    // the client library's last error (OpenSSL's reason)
    std::string lastReason;  // the last failure told

    // The ways to the broker in this round of attempts; 0: the next attempt begins a round.
    std::vector<BrokerRoutes::Route> routes;
    std::size_t nextRoute = 0;

    // Shared between the measurement and the client's thread.
    mutable std::mutex mutex;
    IntervalQueue queue;
    std::string meta;
    bool fMetaChanged = false;
    bool fFinishing = false;
    Clock::time_point finishDeadline{};
};
