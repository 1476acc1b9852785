// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "cli/OptionReader.h"
#include "common/MeasureSettings.h"

class FifoDriver;

// The options of the commands that use the board: --device, and where the board measures
// --rate, --filter and --channel, into the settings the data file records (defaults: the
// window's start-up settings). --rate is matched to the chosen filter's rates once every option
// is read, so --rate and --filter may come in either order.
struct BoardOptions {
    QString device = QStringLiteral("usb:0");
    MeasureSettings settings;
    std::optional<double> samplesPerSecond;

    // `own` and --device, with fMeasures also --rate, --filter and --channel.
    OptionReader::Options With(OptionReader::Options own, bool fMeasures = true);
    // --rate as an index among the chosen filter's rates; false, with the reason in `error`,
    // for a rate the filter does not have.
    bool ResolveRate(QString& error);
    // The samples `duration` gives at the chosen rate.
    std::int64_t SamplesIn(std::chrono::duration<double> duration) const;
    // The driver --device names; nothing, the reason printed, for a device text it does not
    // know.
    std::unique_ptr<FifoDriver> Open() const;

    // A rate as the help writes it ("16.63") and the rates of one filter ("1.25、2.5、...").
    static QString RateText(double samplesPerSecond);
    static QString RateList(bool fSinc5);
};
