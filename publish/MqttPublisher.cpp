// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/MqttPublisher.h"

#include <algorithm>

#include "publish/IntervalFormat.h"

using namespace std::chrono_literals;

MqttPublisher::MqttPublisher(Settings publisherSettings, Notice tell)
    : settings(std::move(publisherSettings)),
      notice(std::move(tell)),
      statusTopic(Topic("status")),
      metaTopic(Topic("meta")),
      connection(
          settings, "selkoran-" + settings.id, statusTopic, notice,
          {[this] { Connected(); }, [this](int mid) { Confirmed(mid); }, [this] { Lost(); }}),
      queue(settings.queueCapacity) {}

MqttPublisher::~MqttPublisher() {
    Finish(0ms);
}

std::string MqttPublisher::Topic(std::string_view leaf) const {
    return settings.address.prefix + '/' + settings.id + '/' + std::string(leaf);
}

std::uint64_t MqttPublisher::Dropped() const {
    const std::lock_guard lock(mutex);
    return queue.Dropped();
}

bool MqttPublisher::Connect(int abortFd, std::string& reason) {
    return connection.Connect(abortFd, reason);
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
    connection.Wake();
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
    connection.Wake();
}

void MqttPublisher::PublishAlarm(const LimitAlarm::Event& event) {
    {
        const std::lock_guard lock(mutex);
        std::erase_if(alarms, [&event](const Alarm& alarm) {
            return alarm.channel == event.channel && alarm.mid == 0;
        });
        alarms.push_back({event.channel, IntervalFormat::AlarmJson(event)});
    }
    connection.Wake();
}

std::size_t MqttPublisher::Finish(std::chrono::milliseconds longest) {
    {
        const std::lock_guard lock(mutex);
        if (!fFinishing) {
            fFinishing = true;
            finishDeadline = Clock::now() + longest;
        }
    }
    connection.Wake();
    if (worker.joinable()) {
        worker.join();
    } else {
        Close();
    }
    const std::lock_guard lock(mutex);
    return queue.Size() + alarms.size();
}

void MqttPublisher::Run() {
    while (const std::optional<Clock::time_point> until = Until()) {
        if (connection.Connected()) {
            SendWaiting();
        }
        connection.Turn(*until);
    }
    Close();
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
        fMetaSent = connection.Send(statusTopic, "online", true) != 0 &&
                    connection.Send(metaTopic, metaNow, true) != 0;
    }
    if (!SendAlarms()) {
        return;
    }
    for (;;) {
        std::optional<IntervalQueue::Waiting> next;
        bool fFinishNow = false;
        {
            const std::lock_guard lock(mutex);
            next = queue.NextToSend(kWindow);
            fFinishNow = fFinishing && !queue.NextToSend(queue.Capacity()) &&
                         std::ranges::all_of(alarms, [](const Alarm& a) { return a.mid != 0; });
        }
        if (!next) {
            if (fFinishNow && offlineMid == 0) {
                offlineMid = connection.Send(statusTopic, "offline", true);
            }
            return;
        }
        const std::string topic = Topic("ch" + std::to_string(next->figures.channel) + "/stats");
        const int mid = connection.Send(topic, Payload(next->figures), false);
        if (mid == 0) {
            return;  // the connection finds out what went wrong
        }
        const std::lock_guard lock(mutex);
        queue.Handed(next->number, mid);
    }
}

bool MqttPublisher::SendAlarms() {
    const std::lock_guard lock(mutex);
    for (Alarm& alarm : alarms) {
        if (alarm.mid == 0) {
            alarm.mid = connection.Send(Topic("ch" + std::to_string(alarm.channel) + "/alarm"),
                                        alarm.payload, true);
            if (alarm.mid == 0) {
                return false;  // the connection finds out what went wrong
            }
        }
    }
    return true;
}

void MqttPublisher::Connected() {
    fMetaSent = false;
    if (fEverConnected) {
        std::size_t waiting = 0;
        {
            const std::lock_guard lock(mutex);
            waiting = queue.Size();
        }
        notice("MQTT：再接続しました（送信待ち " + std::to_string(waiting) + " 件）");
    }
    fEverConnected = true;
}

void MqttPublisher::Confirmed(int mid) {
    if (mid == offlineMid) {
        fOfflineConfirmed = true;
        return;
    }
    const std::lock_guard lock(mutex);
    queue.Confirmed(mid);
    std::erase_if(alarms, [mid](const Alarm& alarm) { return alarm.mid == mid; });
}

void MqttPublisher::Lost() {
    offlineMid = 0;
    fOfflineConfirmed = false;
    const std::lock_guard lock(mutex);
    queue.Unhand();
    for (Alarm& alarm : alarms) {
        alarm.mid = 0;
    }
}

std::optional<MqttPublisher::Clock::time_point> MqttPublisher::Until() const {
    const std::lock_guard lock(mutex);
    if (!fFinishing) {
        return Clock::time_point::max();
    }
    const bool fDone =
        Clock::now() >= finishDeadline ||
        (connection.Connected() && queue.Size() == 0 && alarms.empty() && fOfflineConfirmed);
    return fDone ? std::nullopt : std::optional(finishDeadline);
}

void MqttPublisher::Close() {
    if (connection.Connected() && offlineMid == 0) {
        connection.Send(statusTopic, "offline", true);
    }
    connection.Close();
}

std::string MqttPublisher::Payload(const IntervalFigures& figures) const {
    return settings.format == Format::Json ? IntervalFormat::StatsJson(figures)
                                           : IntervalFormat::StatsInflux(figures, settings.id);
}
