// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

#include "cli/OptionReader.h"
#include "measure/ReadingMath.h"
#include "measure/Readings.h"

// --nplc and --line (readings over power-line cycles), --null and --scale (what is done to each
// reading): measure takes all four, monitor the last two for its limits.
struct ReadingOptions {
    std::optional<double> lineCycles;
    int lineHz = 50;
    bool fLineGiven = false;
    ReadingMath math;  // its null and scale

    // `own` and --null and --scale, with fAperture also --nplc and --line.
    OptionReader::Options With(OptionReader::Options own, bool fAperture);
    // Readings are asked for: an aperture, a null or a scale.
    bool Wanted() const { return lineCycles || math.null.fOn || math.scale.fOn; }
    ReadingAperture Aperture() const { return {lineCycles.value_or(0.0), lineHz}; }
    // The unit the readings are given in: the scale's, else microvolts.
    QString Unit() const;
    // A reading in volts through the null and the scale, in Unit().
    double Value(double volts) const;

private:
    bool StoreScale(const QString& value, QString& error);
};
