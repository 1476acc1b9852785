// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ReadingReport.h"

#include <QJsonArray>
#include <algorithm>
#include <cmath>

#include "common/SampleRates.h"
#include "measure/Measurement.h"
#include "status/StatusTexts.h"

ReadingReport::ReadingReport(const Measurement& data, const ReadingOptions& readingOptions)
    : options(readingOptions),
      perReading(
          options.Aperture().SamplesPerReading(SampleRates::SamplesPerSecond(data.Settings))) {
    for (int channel = 0; channel < 2; ++channel) {
        if (!data.HasData(channel)) {
            continue;
        }
        const ChannelSeries& series = data.Series(channel);
        Channel c{channel,
                  Readings::MeanVolts({series.Codes, static_cast<std::size_t>(series.Count)},
                                      perReading, data.Settings.GainFactor)};
        if (c.values.empty()) {
            continue;
        }
        for (double& value : c.values) {
            value = options.Value(value);
        }
        const auto n = static_cast<double>(c.values.size());
        for (const double value : c.values) {
            c.mean += value;
        }
        c.mean /= n;
        for (const double value : c.values) {
            c.deviation += (value - c.mean) * (value - c.mean) / n;
        }
        c.deviation = std::sqrt(c.deviation);
        const auto [low, high] = std::minmax_element(c.values.begin(), c.values.end());
        c.minimum = *low;
        c.maximum = *high;
        channels.push_back(std::move(c));
    }
}

bool ReadingReport::Empty() const {
    return channels.empty();
}

QString ReadingReport::StatisticsLine(const Channel& c) const {
    return StatusTexts::UnitStatistics(c.channel, c.maximum, c.minimum, c.deviation,
                                       options.Unit());
}

QStringList ReadingReport::Lines() const {
    QStringList lines;
    const std::size_t count =
        options.lineCycles && !channels.empty() ? channels.front().values.size() : 0;
    for (std::size_t i = 0; i < count; ++i) {
        QString line = QString::number(i + 1);
        for (const Channel& c : channels) {
            line += (&c == &channels.front() ? QStringLiteral(" CH") : QStringLiteral(" / CH")) +
                    QString::number(c.channel) + QStringLiteral(" 読み値：") +
                    StatusTexts::UnitValue(c.values[i], c.deviation, options.Unit());
        }
        lines << line;
    }
    for (const Channel& c : channels) {
        lines << StatisticsLine(c);
    }
    return lines;
}

void ReadingReport::AddTo(QJsonObject& object, int channel) const {
    const auto c = std::find_if(channels.begin(), channels.end(),
                                [channel](const Channel& x) { return x.channel == channel; });
    if (c == channels.end()) {
        return;
    }
    QJsonArray values;
    for (const double value : c->values) {
        values.append(value);
    }
    object["unit"] = options.Unit();
    object["readings"] = values;
    object["readingMean"] = c->mean;
    object["readingStdDev"] = c->deviation;
    object["readingMin"] = c->minimum;
    object["readingMax"] = c->maximum;
    object["statistics"] = StatisticsLine(*c);
}

QJsonObject ReadingReport::SettingsJson() const {
    const ReadingMath& math = options.math;
    QJsonObject settings{{"samplesPerReading", static_cast<qint64>(perReading)},
                         {"unit", options.Unit()}};
    settings["nplc"] = options.lineCycles ? QJsonValue(*options.lineCycles) : QJsonValue();
    settings["lineHz"] = options.lineCycles ? QJsonValue(options.lineHz) : QJsonValue();
    settings["nullVolts"] = math.null.fOn ? QJsonValue(math.null.volts) : QJsonValue();
    settings["scale"] =
        math.scale.fOn ? QJsonValue(QJsonObject{{"gain", math.scale.gain},
                                                {"offset", math.scale.offset},
                                                {"unit", QString::fromStdString(math.scale.unit)}})
                       : QJsonValue();
    return settings;
}
