// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/MonitorOptions.h"

#include <QRegularExpression>

#include "publish/MqttAddress.h"

bool MonitorOptions::Parse(const QStringList& arguments, QString& error) {
    using OptionReader::Text;
    const OptionReader::Options own = {
        {"interval", OptionReader::Duration(interval)},
        {"duration", OptionReader::Duration(duration)},
        {"csv", Text(csvFile)},
        {"force", OptionReader::Flag(fForce)},
        {"append", OptionReader::Flag(fAppend)},
        {"mqtt", Text(mqttUrl)},
        {"mqtt-format",
         [this](const QString& value, QString&) {
             fInflux = value == "influx";
             return value == "json" || value == "influx";
         }},
        // What a topic level and an InfluxDB tag take without escapes.
        {"id",
         [this](const QString& value, QString&) {
             static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9._-]+$"));
             id = value;
             return pattern.match(value).hasMatch();
         }},
        {"mqtt-ca", Text(caFile)},
        {"mqtt-user", Text(user)},
        {"mqtt-password-file", Text(passwordFile)}};
    return OptionReader::Read("monitor", arguments, 0, board.With(own), error) &&
           board.ResolveRate(error) && Check(error);
}

bool MonitorOptions::Check(QString& error) const {
    if (!interval) {
        error = QStringLiteral(
            "monitor には --interval で統計の間隔を指定してください（10s、1m など）");
        return false;
    }
    if (fForce && fAppend) {
        error = QStringLiteral("--force と --append は一緒に使えません");
        return false;
    }
    if ((fForce || fAppend) && csvFile.isEmpty()) {
        error = QStringLiteral("--force と --append は --csv と一緒に指定してください");
        return false;
    }
    return CheckBroker(error);
}

bool MonitorOptions::CheckBroker(QString& error) const {
    if (mqttUrl.isEmpty()) {
        if (!caFile.isEmpty() || !user.isEmpty() || !passwordFile.isEmpty() || fInflux) {
            error = QStringLiteral(
                "--mqtt-ca、--mqtt-user、--mqtt-password-file、--mqtt-format は "
                "--mqtt と一緒に指定してください");
            return false;
        }
        return true;
    }
    std::string reason;
    const std::optional<MqttAddress> address = MqttAddress::Parse(mqttUrl.toStdString(), reason);
    if (!address) {
        error = QStringLiteral("MQTT：") + QString::fromStdString(reason) + QStringLiteral("：") +
                mqttUrl +
                QStringLiteral(
                    "（mqtt://ホスト[:ポート]/接頭辞 か mqtts://... の形で指定してください）");
        return false;
    }
    if (!caFile.isEmpty() && !address->fTls) {
        error = QStringLiteral("--mqtt-ca は mqtts:// のときだけ使えます");
        return false;
    }
    if (!passwordFile.isEmpty() && user.isEmpty()) {
        error = QStringLiteral("--mqtt-password-file には --mqtt-user も指定してください");
        return false;
    }
    return true;
}
