// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>
#include <optional>

#include "cli/BoardOptions.h"
#include "cli/ReadingOptions.h"
#include "publish/LimitAlarm.h"

// The options of `monitor`: the board's, the interval and the run's length, the CSV of
// intervals (new, replaced or continued), the broker, and the bands that raise alarms (in volts,
// or in the unit of --null and --scale).
struct MonitorOptions {
    BoardOptions board;
    std::optional<std::chrono::duration<double>> interval;
    std::optional<std::chrono::duration<double>> duration;  // none: until stopped
    QString csvFile;
    bool fForce = false;
    bool fAppend = false;
    QString mqttUrl;
    bool fInflux = false;
    QString id;
    QString caFile;
    QString user;
    QString passwordFile;
    std::vector<LimitAlarm::Band> limits;  // one per channel at most
    LimitAlarm::Basis limitBasis = LimitAlarm::Basis::Mean;
    std::optional<double> hysteresis;
    ReadingOptions readings;  // --null and --scale

    // `arguments`: those after the command's name. False, with the reason in `error`, for a
    // usage error.
    bool Parse(const QStringList& arguments, QString& error);

private:
    // Once every option is read: what they ask of a monitor fits together.
    bool Check(QString& error) const;
    bool CheckBroker(QString& error) const;
    bool CheckLimits(QString& error) const;
    // "ch0:LOW:HIGH"; false for any other text.
    bool StoreLimit(const QString& text);
};
