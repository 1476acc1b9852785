// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowCommandLine.h"

#include <cstdio>

namespace {

// One option: its names, the value it takes (none: a switch) and its default, and what it does.
struct OptionText {
    QStringList names;
    const char* value;
    const char* defaultValue;
    const char* text;
};

const OptionText kOptions[] = {
    {{"h", "help"}, nullptr, nullptr, "このヘルプを表示します"},
    {{"v", "version"}, nullptr, nullptr, "バージョンを表示します"},
    {{"device"},
     "D",
     "usb:0",
     "測定するボード：usb:番号（番号の FTDI チップを libftdi で開きます。0 から、\n"
     "既定は usb:0）、usb:serial=シリアル番号（その USB シリアル番号の FTDI チップ）、\n"
     "sim[:seed=N,...]（模擬ボード）、tty:パス（シリアルデバイス）。\n"
     "selkoran-cli info --device usb:list で FTDI チップを一覧表示します"},
};

constexpr int kLabelWidth = 16;

// "-h, --help", "--device D".
QString Label(const OptionText& option) {
    QStringList names;
    for (const QString& name : option.names) {
        names << (name.size() == 1 ? "-" : "--") + name;
    }
    const QString label = names.join(QStringLiteral(", "));
    return option.value == nullptr ? label : label + ' ' + QString::fromUtf8(option.value);
}

QString Pointer() {
    return QStringLiteral("詳しくは selkoran --help を見てください");
}

}  // namespace

namespace WindowCommandLine {

void AddOptions(QCommandLineParser& parser) {
    for (const OptionText& option : kOptions) {
        parser.addOption(QCommandLineOption(option.names, QString::fromUtf8(option.text),
                                            QString::fromUtf8(option.value),
                                            QString::fromUtf8(option.defaultValue)));
    }
}

std::optional<int> AnswerHelpOrVersion(const QCommandLineParser& parser) {
    if (parser.isSet("help")) {
        std::fputs(HelpText().toUtf8().constData(), stdout);
        return 0;
    }
    if (parser.isSet("version")) {
        std::puts("SELKORAN " SELKORAN_VERSION);
        return 0;
    }
    return std::nullopt;
}

QString ErrorText(const QCommandLineParser& parser, const QStringList& arguments) {
    QString cause;
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        cause = QStringLiteral("不明なオプションです：") + (name.size() == 1 ? "-" : "--") + name;
    } else if (arguments.size() > 1 && arguments.last().endsWith(QStringLiteral("-device"))) {
        cause = QStringLiteral("--device の値がありません");
    } else {
        cause = QStringLiteral("オプションの指定が正しくありません：") + arguments.mid(1).join(' ');
    }
    return QStringLiteral("selkoran: ") + cause + '\n' + Pointer() + '\n';
}

QString HelpText() {
    QString text = QStringLiteral(
        "使い方：selkoran [オプション]\n"
        "SELKORAN USB 変換ボードで測定します。\n"
        "\n"
        "オプション：\n");
    const QString margin(2 + kLabelWidth, ' ');
    for (const OptionText& option : kOptions) {
        QStringList lines = QString::fromUtf8(option.text).split('\n');
        text += "  " + Label(option).leftJustified(kLabelWidth) + lines.takeFirst() + '\n';
        for (const QString& line : lines) {
            text += margin + line + '\n';
        }
    }
    return text;
}

}  // namespace WindowCommandLine
