// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

// One command's arguments as the command line writes them: its options (--name VALUE,
// --name=VALUE, --flag) in any order among its file names. Each option is checked against the
// option table (known, the command's, given once, with a value exactly where it takes one) and
// stored at once, so that the first mistake is the one told.
namespace OptionReader {

// Stores one option's value (a flag's is empty); false when the value is bad. `error`, where
// left empty, becomes "the value is not right".
using Store = std::function<bool(const QString& value, QString& error)>;
struct Option {
    const char* name;
    Store store;
};
using Options = std::vector<Option>;

// The `files` file names among `arguments` (those after the command's name), every option
// stored; nothing, with the reason in `error`, at the first mistake.
std::optional<QStringList> Read(const QString& command, const QStringList& arguments,
                                qsizetype files, const Options& options, QString& error);

// The ways to store a value: any text but an empty one; a flag; a whole number within
// first..last; samples per second, a plain decimal figure above 0 ("31250", "100.2"); a line
// frequency; a
// duration, "1h30m", "90s", "1.5h", "7d": days, hours, minutes and seconds in that order,
// each at most once, together more than nothing.
Store Text(QString& field);
Store Flag(bool& field);
std::optional<int> Number(const QString& text, int first, int last);
Store SamplesPerSecond(std::optional<double>& field);
// The mains' frequency, 50 or 60 (Hz).
Store LineFrequency(int& field);
// A decimal figure with a sign and an exponent where wanted ("-1.5", "2e-3"); nothing for any
// other text, an infinity or not a number.
std::optional<double> Real(const QString& text);
Store Duration(std::optional<std::chrono::duration<double>>& field);

}  // namespace OptionReader
