// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ReadingOptions.h"

#include <QStringList>

namespace {

constexpr double kMicrovoltsPerVolt = 1e6;
constexpr double kLargestNull = 2.5;  // the board's range, volts
constexpr qsizetype kLongestUnit = 16;

bool IsPlainUnit(const QString& unit) {
    for (const QChar c : unit) {
        if (c.category() == QChar::Other_Control) {
            return false;
        }
    }
    return unit.size() <= kLongestUnit;
}

}  // namespace

OptionReader::Options ReadingOptions::With(OptionReader::Options own, bool fAperture) {
    own.push_back({"null", [this](const QString& value, QString&) {
                       const std::optional<double> volts = OptionReader::Real(value);
                       math.null = {true, volts.value_or(0.0)};
                       return volts && std::abs(*volts) <= kLargestNull;
                   }});
    own.push_back({"scale", [this](const QString& value, QString& error) {
                       return StoreScale(value, error);
                   }});
    if (fAperture) {
        own.push_back({"nplc", [this](const QString& value, QString&) {
                           lineCycles = OptionReader::Real(value);
                           return lineCycles && *lineCycles >= ReadingAperture::kLeastCycles &&
                                  *lineCycles <= ReadingAperture::kMostCycles;
                       }});
        own.push_back({"line", [this](const QString& value, QString& error) {
                           fLineGiven = true;
                           return OptionReader::LineFrequency(lineHz)(value, error);
                       }});
    }
    return own;
}

// GAIN[,OFFSET[,UNIT]]: the unit is the rest of the text, commas and all.
bool ReadingOptions::StoreScale(const QString& value, QString& error) {
    const QStringList parts = value.split(',');
    const std::optional<double> gain = OptionReader::Real(parts[0]);
    const std::optional<double> offset =
        parts.size() > 1 ? OptionReader::Real(parts[1]) : std::optional<double>(0.0);
    const QString unit = parts.size() > 2 ? value.section(',', 2) : QString();
    if (!gain || !offset || std::abs(*gain) > ReadingMath::kLargest ||
        std::abs(*offset) > ReadingMath::kLargest) {
        return false;
    }
    if (!IsPlainUnit(unit)) {
        error = QStringLiteral("--scale の単位は制御文字を含まない %1 文字までにしてください：")
                    .arg(kLongestUnit) +
                unit;
        return false;
    }
    math.scale = {true, *gain, *offset, unit.toStdString()};
    return true;
}

QString ReadingOptions::Unit() const {
    return math.scale.fOn ? QString::fromStdString(math.scale.unit) : QStringLiteral("uV");
}

double ReadingOptions::Value(double volts) const {
    const double value = math.Apply(volts);
    return math.scale.fOn ? value : value * kMicrovoltsPerVolt;
}
