// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>
#include <optional>

struct CliOptions;

// The options only `monitor` takes: the interval, the CSV's continuation and the broker.
struct MonitorOptions {
    std::optional<std::chrono::duration<double>> interval;
    bool fAppend = false;
    QString mqttUrl;
    bool fInflux = false;
    QString id;
    QString caFile;
    QString user;
    QString passwordFile;

    // A value of one of the options above (but --interval); false when it is bad.
    bool Store(const QString& name, const QString& value);
    // Once every option is read: what `options` asks of a monitor fits together. False with
    // the reason in `error`.
    static bool Check(const CliOptions& options, QString& error);
};
