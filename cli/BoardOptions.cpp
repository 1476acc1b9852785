// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/BoardOptions.h"

#include <QStringList>
#include <string>

#include "cli/CliExit.h"
#include "common/SampleRates.h"
#include "link/driver/DeviceChoice.h"

OptionReader::Options BoardOptions::With(OptionReader::Options own, bool fMeasures) {
    own.push_back({"device", OptionReader::Text(device)});
    if (!fMeasures) {
        return own;
    }
    own.push_back({"rate", OptionReader::SamplesPerSecond(samplesPerSecond)});
    own.push_back({"filter", [this](const QString& value, QString&) {
                       if (value != "sinc3" && value != "sinc5") {
                           return false;
                       }
                       settings.fSinc5 = value == "sinc5";
                       return true;
                   }});
    // 0, 1, or both channels as 2 or "both".
    own.push_back({"channel", [this](const QString& value, QString&) {
                       const std::optional<int> channel =
                           value == "both"
                               ? 2
                               : OptionReader::Number(value, 0, kChannelChoiceCount - 1);
                       if (!channel) {
                           return false;
                       }
                       settings.CHSel = *channel;
                       return true;
                   }});
    return own;
}

bool BoardOptions::ResolveRate(QString& error) {
    if (!samplesPerSecond) {
        return true;
    }
    const bool fSinc5 = settings.fSinc5;
    const std::optional<int> index = SampleRates::IndexOf(*samplesPerSecond, fSinc5);
    if (!index) {
        error =
            QStringLiteral(
                "--rate %1 は %2 フィルタのレートではありません。使えるレート（sps）：%3")
                .arg(RateText(*samplesPerSecond),
                     fSinc5 ? QStringLiteral("sinc5") : QStringLiteral("sinc3"), RateList(fSinc5));
        return false;
    }
    settings.spsSel = *index;
    return true;
}

std::int64_t BoardOptions::SamplesIn(std::chrono::duration<double> duration) const {
    return SampleRates::SamplesIn(duration, settings.spsSel, settings.fSinc5);
}

std::unique_ptr<FifoDriver> BoardOptions::Open() const {
    std::string error;
    std::unique_ptr<FifoDriver> driver = ChooseDevice(device.toStdString(), &error);
    if (!driver) {
        CliExit::PrintError(QString::fromStdString(error));
    }
    return driver;
}

QString BoardOptions::RateText(double samplesPerSecond) {
    return QString::number(samplesPerSecond, 'g', 10);
}

QString BoardOptions::RateList(bool fSinc5) {
    QStringList rates;
    for (int index = 0; index < kRateCount; ++index) {
        rates << RateText(SampleRates::SamplesPerSecond(index, fSinc5));
    }
    return rates.join(QStringLiteral("、"));
}
