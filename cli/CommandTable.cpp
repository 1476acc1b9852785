// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandTable.h"

#include <QStringList>
#include <algorithm>

#include "cli/BoardOptions.h"
#include "cli/OptionTable.h"
#include "common/SampleRates.h"

namespace {

using CommandTable::Row;
using Commands = std::span<const Row* const>;

const Row* const kCommands[] = {&CommandTable::kInfo,    &CommandTable::kMeasure,
                                &CommandTable::kRecord,  &CommandTable::kServe,
                                &CommandTable::kMonitor, &CommandTable::kShow,
                                &CommandTable::kAnalyze, &CommandTable::kConvert};

constexpr int kLabelWidth = 13;
const QString kIndent = QStringLiteral("  ");

// Lines under a label: the label, padded, before the first; the others under the first. A note
// has no label.
QString Labelled(const QString& label, const QString& text) {
    QString head = kIndent;
    QString margin = kIndent;
    if (!label.isEmpty()) {
        const bool fFits = label.size() + kIndent.size() <= kLabelWidth;
        head += fFits ? label.leftJustified(kLabelWidth) : label + kIndent;
        margin = QString(kIndent.size() + kLabelWidth, ' ');
    }
    QStringList lines = text.split('\n');
    QString block = head + lines.takeFirst() + '\n';
    for (const QString& line : lines) {
        block += margin + line + '\n';
    }
    return block;
}

// The usage lines of one command, continuation lines under the first option.
QString UsageOf(const Row& command) {
    const QString head =
        QStringLiteral("selkoran-cli ") + QString::fromLatin1(command.name).leftJustified(8);
    QStringList lines = QString::fromUtf8(command.usage).split('\n');
    QString usage = kIndent + head + lines.takeFirst() + '\n';
    for (const QString& line : lines) {
        usage += QString(kIndent.size() + head.size(), ' ') + line + '\n';
    }
    return usage;
}

// The names of `commands` an option's row is for, in the help's order.
QStringList Serving(const OptionTable::Row& row, Commands commands) {
    QStringList names;
    for (const Row* command : commands) {
        if (OptionTable::Serves(row, command->name)) {
            names << command->name;
        }
    }
    return names;
}

// The options and notes for `commands`; in the overview each text names its commands
// ("measure、record：").
QString OptionsOf(Commands commands, bool fOverview) {
    QString text = QStringLiteral("オプション：\n");
    for (const OptionTable::Row& row : OptionTable::Rows()) {
        const QStringList names = Serving(row, commands);
        if (names.isEmpty()) {
            continue;
        }
        const QString prefix =
            fOverview ? names.join(QStringLiteral("、")) + QStringLiteral("：") : QString();
        text += Labelled(QString::fromUtf8(row.label == nullptr ? "" : row.label),
                         prefix + QString::fromUtf8(row.text));
    }
    return text;
}

// Both filters' rates side by side, the 17 rates in two halves of 9 rows, left-aligned so
// that the manual page made from this text keeps the columns.
QString RateTable() {
    constexpr int kRows = (kRateCount + 1) / 2;
    const auto pair = [](const QString& sinc5, const QString& sinc3) {
        return QStringLiteral("%1  %2").arg(sinc5, -7).arg(sinc3, -7);
    };
    const QString heading = pair(QStringLiteral("sinc5"), QStringLiteral("sinc3"));
    QString table = QStringLiteral("\nレート（1 秒あたりのデータ数、--rate SPS）：\n") + kIndent +
                    heading + "    " + heading.trimmed() + '\n';
    for (int row = 0; row < kRows; ++row) {
        QStringList pairs;
        for (const int index : {row, row + kRows}) {
            if (index < kRateCount) {
                pairs << pair(BoardOptions::RateText(SampleRates::SamplesPerSecond(index, true)),
                              BoardOptions::RateText(SampleRates::SamplesPerSecond(index, false)));
            }
        }
        table += kIndent + pairs.join(QStringLiteral("    ")).trimmed() + '\n';
    }
    return table;
}

QString SimulatedBoardKeys() {
    return QStringLiteral(
        "\n"
        "模擬ボードのキー（--device sim:キー=値,...、K はデータ番号で 0 から）：\n"
        "    seed=N       雑音の種（既定 1）\n"
        "    ch0=UV       CH0 の入力 [uV]（既定 4）\n"
        "    ch1=UV       CH1 の入力 [uV]（既定 1250000）\n"
        "    sine=HZ      CH0 に加える正弦波の周波数 [Hz]（既定 なし）\n"
        "    amp=UV       正弦波の振幅（ピーク）[uV]（既定 1000000）\n"
        "    hd2=DBC      正弦波の第2高調波 [dBc]（既定 なし）\n"
        "    hd3=DBC      正弦波の第3高調波 [dBc]（既定 なし）\n"
        "    name=TEXT    \"U?\" に答える名前（既定 SELKORAN）\n"
        "    silent       何も答えません\n"
        "    ng=COMMAND   このコマンドに \"NG\" を返します\n"
        "    delay=MS     応答を MS ミリ秒遅らせます\n"
        "    split=BYTES  応答を BYTES バイトずつ 5 ms おきに送ります\n"
        "    lf=K         データ K を LF で終えます\n"
        "    short=K      データ K の最後の桁を欠きます\n"
        "    stopafter=K  K データで送るのをやめます\n"
        "    purgefail=K  K 回目（0 から）のパージが失敗します\n"
        "    vanish=K     データ K のときにボードが消えます\n");
}

bool AnyTakes(Commands commands, const char* option) {
    return std::any_of(commands.begin(), commands.end(),
                       [option](const Row* c) { return OptionTable::Takes(c->name, option); });
}

// The usage lines and summaries of `commands`, their options, and the tables behind them.
QString HelpOf(Commands commands, bool fOverview) {
    QString text = QStringLiteral("使い方：\n");
    for (const Row* command : commands) {
        text += UsageOf(*command);
    }
    text += '\n';
    for (const Row* command : commands) {
        text += Labelled(command->name, QString::fromUtf8(command->summary));
    }
    text += '\n';
    if (fOverview) {
        text += kIndent +
                QStringLiteral("コマンドごとの使い方とオプション：selkoran-cli COMMAND --help\n\n");
    }
    text += OptionsOf(commands, fOverview);
    if (AnyTakes(commands, "filter")) {
        text += RateTable();
    }
    if (AnyTakes(commands, "device")) {
        text += SimulatedBoardKeys();
    }
    return text;
}

}  // namespace

namespace CommandTable {

std::span<const Row* const> Rows() {
    return kCommands;
}

const Row* Named(const QString& name) {
    const auto* row = std::find_if(std::begin(kCommands), std::end(kCommands),
                                   [&name](const Row* r) { return name == r->name; });
    return row == std::end(kCommands) ? nullptr : *row;
}

QString Help(const QString& command) {
    const Row* named = Named(command);
    return named == nullptr ? HelpOf(kCommands, true) : HelpOf({&named, 1}, false);
}

}  // namespace CommandTable
