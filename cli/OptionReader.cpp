// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/OptionReader.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "cli/OptionTable.h"

namespace {

using OptionReader::Option;

// Why the file names given do not fit the command.
QString FilesError(const QString& command, qsizetype expected, const QStringList& positional) {
    if (expected == 2) {
        return command + QStringLiteral(" には変換元と変換先のファイルを指定してください");
    }
    if (expected == 1) {
        return command + QStringLiteral(" にはデータファイルを一つ指定してください");
    }
    return QStringLiteral("余分な引数があります：") + positional.join(' ');
}

// The command's option `name`, given once; nullptr with the reason in `error`.
const Option* Usable(const QString& command, const QString& name, const QStringList& given,
                     const OptionReader::Options& options, QString& error) {
    const auto option = std::find_if(options.begin(), options.end(),
                                     [&name](const Option& o) { return name == o.name; });
    if (OptionTable::Find(name) == nullptr) {
        error = QStringLiteral("不明なオプションです：--") + name;
    } else if (option == options.end()) {
        error = command + QStringLiteral(" では使えないオプションです：--") + name;
    } else if (given.contains(name) && !OptionTable::Find(name)->fRepeatable) {
        error = QStringLiteral("オプションが二度指定されています：--") + name;
    } else {
        return &*option;
    }
    return nullptr;
}

}  // namespace

namespace OptionReader {

std::optional<QStringList> Read(const QString& command, const QStringList& arguments,
                                qsizetype files, const Options& options, QString& error) {
    QStringList positional;
    QStringList given;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith("--")) {
            positional << argument;
            continue;
        }
        const qsizetype equals = argument.indexOf('=');
        const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
        const Option* option = Usable(command, name, given, options, error);
        if (option == nullptr) {
            return std::nullopt;
        }
        given << name;
        QString value;
        if (!OptionTable::Find(name)->fValue) {
            if (equals >= 0) {
                error = QStringLiteral("値を取らないオプションです：") + argument;
                return std::nullopt;
            }
        } else if (equals >= 0) {
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            error = QStringLiteral("--") + name + QStringLiteral(" の値がありません");
            return std::nullopt;
        }
        if (!option->store(value, error)) {
            if (error.isEmpty()) {
                error = QStringLiteral("オプションの値が正しくありません：--") + name + ' ' + value;
            }
            return std::nullopt;
        }
    }
    if (positional.size() != files) {
        error = FilesError(command, files, positional);
        return std::nullopt;
    }
    return positional;
}

Store Text(QString& field) {
    return [&field](const QString& value, QString&) {
        field = value;
        return !value.isEmpty();
    };
}

Store Flag(bool& field) {
    return [&field](const QString&, QString&) { return field = true; };
}

std::optional<int> Number(const QString& text, int first, int last) {
    bool fOk = false;
    const int number = text.toInt(&fOk, 10);
    if (!fOk || number < first || number > last || text.trimmed() != text) {
        return std::nullopt;
    }
    return number;
}

Store SamplesPerSecond(std::optional<double>& field) {
    return [&field](const QString& text, QString&) {
        static const QRegularExpression pattern(QStringLiteral("^\\d+(?:\\.\\d+)?$"));
        const double value = text.toDouble();
        if (!pattern.match(text).hasMatch() || !(value > 0.0) || !std::isfinite(value)) {
            return false;
        }
        field = value;
        return true;
    };
}

Store LineFrequency(int& field) {
    return [&field](const QString& text, QString&) {
        field = text.toInt();
        return text == QStringLiteral("50") || text == QStringLiteral("60");
    };
}

std::optional<double> Real(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^[+-]?(?:\\d+(?:\\.\\d*)?|\\.\\d+)(?:[eE][+-]?\\d+)?$"));
    bool fOk = false;
    const double value = text.toDouble(&fOk);
    if (!pattern.match(text).hasMatch() || !fOk || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

Store Duration(std::optional<std::chrono::duration<double>>& field) {
    return [&field](const QString& text, QString&) {
        static const QRegularExpression pattern(QStringLiteral(
            "^(?:(\\d+(?:\\.\\d+)?)d)?(?:(\\d+(?:\\.\\d+)?)h)?(?:(\\d+(?:\\.\\d+)?)m)?"
            "(?:(\\d+(?:\\.\\d+)?)s)?$"));
        const QRegularExpressionMatch match = pattern.match(text);
        if (text.isEmpty() || !match.hasMatch()) {
            return false;
        }
        const double seconds = match.captured(1).toDouble() * 86400.0 +
                               match.captured(2).toDouble() * 3600.0 +
                               match.captured(3).toDouble() * 60.0 + match.captured(4).toDouble();
        if (!(seconds > 0.0)) {
            return false;
        }
        field = std::chrono::duration<double>(seconds);
        return true;
    };
}

}  // namespace OptionReader
