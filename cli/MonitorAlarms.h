// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <span>
#include <vector>

#include "cli/MonitorOptions.h"
#include "publish/IntervalFigures.h"
#include "publish/LimitAlarm.h"

class IntervalFile;
class MqttPublisher;

// monitor --limit: each channel's band watched interval by interval. A change of state goes
// to the broker (retained, also the first interval's state, so one left by an earlier run is
// replaced), and, where it is an alarm or its end, to standard error and the CSV of intervals.
class MonitorAlarms {
public:
    explicit MonitorAlarms(const MonitorOptions& options);

    // The interval's changes told; false when the CSV could not be written.
    bool Take(std::span<const IntervalFigures> interval, IntervalFile* file,
              MqttPublisher* publisher);

    // "12 2025-03-01T08:00:10.123Z CH0 警報：上限を超えました（値：1.3[V] / 上限：1.2[V]）"
    static QString Line(const LimitAlarm::Event& event, const QString& unit);

private:
    std::vector<LimitAlarm> alarms;
    QString unit;
};
