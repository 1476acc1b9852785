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
        {"mqtt-password-file", Text(passwordFile)},
        {"limit", [this](const QString& value, QString&) { return StoreLimit(value); }},
        {"limit-by",
         [this](const QString& value, QString&) {
             limitBasis =
                 value == "extremes" ? LimitAlarm::Basis::Extremes : LimitAlarm::Basis::Mean;
             return value == "mean" || value == "extremes";
         }},
        {"hysteresis", [this](const QString& value, QString&) {
             hysteresis = OptionReader::Real(value);
             return hysteresis && *hysteresis >= 0.0;
         }}};
    return OptionReader::Read("monitor", arguments, 0, board.With(readings.With(own, false)),
                              error) &&
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
    return CheckBroker(error) && CheckLimits(error);
}

bool MonitorOptions::StoreLimit(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^ch([01]):([^:]+):([^:]+)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return false;
    }
    const std::optional<double> low = OptionReader::Real(match.captured(2));
    const std::optional<double> high = OptionReader::Real(match.captured(3));
    if (!low || !high || *low >= *high) {
        return false;
    }
    limits.push_back({match.captured(1).toInt(), *low, *high});
    return true;
}

bool MonitorOptions::CheckLimits(QString& error) const {
    const bool fOthers = hysteresis || limitBasis != LimitAlarm::Basis::Mean ||
                         readings.math.null.fOn || readings.math.scale.fOn;
    if (limits.empty()) {
        if (fOthers) {
            error = QStringLiteral(
                "--limit-by、--hysteresis、--null、--scale は --limit と一緒に指定してください");
        }
        return !fOthers;
    }
    const int chSel = board.settings.CHSel;
    for (const LimitAlarm::Band& band : limits) {
        const QString name = QStringLiteral("ch") + QString::number(band.channel);
        if (chSel != 2 && chSel != band.channel) {
            error = QStringLiteral(
                        "--limit の %1 は測定しないチャンネルです（--channel で選んでください）")
                        .arg(name);
            return false;
        }
        if (std::count_if(limits.begin(), limits.end(), [&band](const auto& other) {
                return other.channel == band.channel;
            }) > 1) {
            error = QStringLiteral("--limit が %1 に二度指定されています").arg(name);
            return false;
        }
        if (hysteresis && *hysteresis >= band.high - band.low) {
            error = QStringLiteral("--hysteresis は %1 の範囲の幅より小さくしてください").arg(name);
            return false;
        }
    }
    return true;
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
