// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/MonitorOptions.h"

#include <QRegularExpression>

#include "cli/CliOptions.h"
#include "publish/MqttAddress.h"

namespace {

// What a topic level and an InfluxDB tag take without escapes.
bool ValidId(const QString& id) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9._-]+$"));
    return pattern.match(id).hasMatch();
}

bool CheckBroker(const MonitorOptions& monitor, QString& error) {
    if (monitor.mqttUrl.isEmpty()) {
        if (!monitor.caFile.isEmpty() || !monitor.user.isEmpty() ||
            !monitor.passwordFile.isEmpty() || monitor.fInflux) {
            error = QStringLiteral(
                "--mqtt-ca、--mqtt-user、--mqtt-password-file、--mqtt-format は "
                "--mqtt と一緒に指定してください");
            return false;
        }
        return true;
    }
    std::string reason;
    const std::optional<MqttAddress> address =
        MqttAddress::Parse(monitor.mqttUrl.toStdString(), reason);
    if (!address) {
        error = QStringLiteral("MQTT：") + QString::fromStdString(reason) + QStringLiteral("：") +
                monitor.mqttUrl +
                QStringLiteral(
                    "（mqtt://ホスト[:ポート]/接頭辞 か mqtts://... の形で指定してください）");
        return false;
    }
    if (!monitor.caFile.isEmpty() && !address->fTls) {
        error = QStringLiteral("--mqtt-ca は mqtts:// のときだけ使えます");
        return false;
    }
    if (!monitor.passwordFile.isEmpty() && monitor.user.isEmpty()) {
        error = QStringLiteral("--mqtt-password-file には --mqtt-user も指定してください");
        return false;
    }
    return true;
}

}  // namespace

bool MonitorOptions::Store(const QString& name, const QString& value) {
    if (name == "mqtt") {
        mqttUrl = value;
    } else if (name == "mqtt-format") {
        if (value != "json" && value != "influx") {
            return false;
        }
        fInflux = value == "influx";
    } else if (name == "id") {
        if (!ValidId(value)) {
            return false;
        }
        id = value;
    } else if (name == "mqtt-ca") {
        caFile = value;
    } else if (name == "mqtt-user") {
        user = value;
    } else if (name == "mqtt-password-file") {
        passwordFile = value;
    }
    return !value.isEmpty();
}

bool MonitorOptions::Check(const CliOptions& options, QString& error) {
    const MonitorOptions& monitor = options.monitor;
    if (!monitor.interval) {
        error = QStringLiteral(
            "monitor には --interval で統計の間隔を指定してください（10s、1m など）");
        return false;
    }
    if (options.fForce && monitor.fAppend) {
        error = QStringLiteral("--force と --append は一緒に使えません");
        return false;
    }
    if ((options.fForce || monitor.fAppend) && options.csvFile.isEmpty()) {
        error = QStringLiteral("--force と --append は --csv と一緒に指定してください");
        return false;
    }
    return CheckBroker(monitor, error);
}
