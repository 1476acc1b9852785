// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>
#include <optional>

#include "cli/BoardOptions.h"

// The options of `monitor`: the board's, the interval and the run's length, the CSV of
// intervals (new, replaced or continued) and the broker.
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

    // `arguments`: those after the command's name. False, with the reason in `error`, for a
    // usage error.
    bool Parse(const QStringList& arguments, QString& error);

private:
    // Once every option is read: what they ask of a monitor fits together.
    bool Check(QString& error) const;
    bool CheckBroker(QString& error) const;
};
