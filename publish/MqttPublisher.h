// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "publish/IntervalFigures.h"
#include "publish/IntervalQueue.h"
#include "publish/LimitAlarm.h"
#include "publish/MqttConnection.h"

// A monitor's messages to an MQTT broker through libmosquitto, at QoS 1:
// - PREFIX/ID/status, retained: "online" once the run has begun (again after every
//   reconnect), "offline" at a clean end and as the broker's last will when the program dies;
// - PREFIX/ID/meta, retained: what the run measures (set by the monitor);
// - PREFIX/ID/chN/stats: each interval's figures, as JSON or as an InfluxDB line;
// - PREFIX/ID/chN/alarm, retained: the channel's alarm state each time it changes (JSON).
// The connection (MqttConnection) is turned by a thread of its own, because resolving the
// broker's name and a TLS handshake take their time: the measurement never waits for the
// network. Stats wait in a queue of fixed size until the broker confirms them; after a lost
// connection the queue goes out again in order (so a message may arrive twice; its seq tells).
// Reconnects and dropped messages are told in one line each.
class MqttPublisher {
public:
    using Clock = std::chrono::steady_clock;
    using Notice = MqttConnection::Notice;

    enum class Format { Json, Influx };

    static constexpr std::size_t kQueueCapacity = 100000;
    // Messages handed to the client before the broker confirms the first of them.
    static constexpr std::size_t kWindow = 20;

    // The broker and the login, and what goes to it.
    struct Settings : MqttConnection::Broker {
        std::string id;  // the board's name in the topics
        Format format = Format::Json;
        std::size_t queueCapacity = kQueueCapacity;
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
    // A channel's alarm state, sent once; a newer state of the channel takes the place of one
    // not yet sent, as the retained message holds only the newest.
    void PublishAlarm(const LimitAlarm::Event& event);
    // The clean end: the queue delivered within `longest`, then "offline" and a disconnect.
    // Returns the messages the broker did not confirm.
    std::size_t Finish(std::chrono::milliseconds longest);

    std::string Topic(std::string_view leaf) const;
    std::uint64_t Dropped() const;

private:
    void Run();
    void SendWaiting();
    // What the connection tells, on the client's thread.
    void Connected();
    void Confirmed(int mid);
    void Lost();
    // How long the client goes on: until the end of the time Finish gave (the clock's end
    // before), none when all is delivered or the time is up.
    std::optional<Clock::time_point> Until() const;
    void Close();
    std::string Payload(const IntervalFigures& figures) const;
    // Sends the alarms not handed to the client; false when one could not be.
    bool SendAlarms();

    // An alarm state waiting for the broker's confirmation (mid 0: not handed to the client).
    struct Alarm {
        int channel = 0;
        std::string payload;
        int mid = 0;
    };

    Settings settings;
    Notice notice;
    std::string statusTopic;
    std::string metaTopic;
    MqttConnection connection;
    std::thread worker;

    // The client's thread's own (Connect's caller's before Start).
    bool fEverConnected = false;
    bool fMetaSent = false;
    int offlineMid = 0;
    bool fOfflineConfirmed = false;

    // Shared between the measurement and the client's thread.
    mutable std::mutex mutex;
    IntervalQueue queue;
    std::string meta;
    bool fMetaChanged = false;
    std::vector<Alarm> alarms;
    bool fFinishing = false;
    Clock::time_point finishDeadline{};
};
