// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/MonitorAlarms.h"

#include <cstdio>

#include "publish/IntervalFile.h"
#include "publish/MqttPublisher.h"
#include "record/RecordingFormat.h"

namespace {

// Seven significant digits: more than a band is set with, fewer than a double's noise.
constexpr int kDigits = 7;

QString Number(double value, const QString& unit) {
    const QString number = QString::number(value, 'g', kDigits);
    return unit.isEmpty() ? number : number + '[' + unit + ']';
}

}  // namespace

MonitorAlarms::MonitorAlarms(const MonitorOptions& options)
    : unit(options.readings.math.scale.fOn
               ? QString::fromStdString(options.readings.math.scale.unit)
               : QStringLiteral("V")) {
    for (const LimitAlarm::Band& band : options.limits) {
        alarms.emplace_back(band, options.limitBasis, options.hysteresis.value_or(0.0),
                            options.readings.math);
    }
}

QString MonitorAlarms::Line(const LimitAlarm::Event& event, const QString& unit) {
    QString line = QString::number(event.seq) + ' ' +
                   QString::fromStdString(RecordingFormat::IsoTime(event.time)) +
                   QStringLiteral(" CH") + QString::number(event.channel) +
                   QStringLiteral(" 警報：");
    switch (event.state) {
        case LimitAlarm::State::High:
            line += QStringLiteral("上限を超えました");
            break;
        case LimitAlarm::State::Low:
            line += QStringLiteral("下限を下回りました");
            break;
        case LimitAlarm::State::Ok:
            line += QStringLiteral("範囲内に戻りました");
            break;
    }
    line += QStringLiteral("（値：") + Number(event.value, unit);
    if (event.limit) {
        line += (event.side == LimitAlarm::State::Low ? QStringLiteral(" / 下限：")
                                                      : QStringLiteral(" / 上限：")) +
                Number(*event.limit, unit);
    }
    return line + QStringLiteral("）");
}

bool MonitorAlarms::Take(std::span<const IntervalFigures> interval, IntervalFile* file,
                         MqttPublisher* publisher) {
    bool fWritten = true;
    for (LimitAlarm& alarm : alarms) {
        const std::optional<LimitAlarm::Event> event = alarm.Take(interval);
        if (!event) {
            continue;
        }
        if (publisher != nullptr) {
            publisher->PublishAlarm(*event);
        }
        if (event->fFirst && event->state == LimitAlarm::State::Ok) {
            continue;  // nothing to warn of
        }
        std::fprintf(stderr, "%s\n", Line(*event, unit).toUtf8().constData());
        fWritten = (file == nullptr || file->WriteAlarm(*event)) && fWritten;
    }
    return fWritten;
}
