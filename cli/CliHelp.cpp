// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliHelp.h"

#include <QStringList>
#include <initializer_list>

#include "common/MeasureSettings.h"
#include "common/SampleRates.h"

namespace {

using Command = CliOptions::Command;

constexpr unsigned Bits(std::initializer_list<Command> commands) {
    unsigned bits = 0;
    for (const Command command : commands) {
        bits |= 1U << static_cast<unsigned>(command);
    }
    return bits;
}

constexpr unsigned kBoardRate = Bits({Command::Measure, Command::Record, Command::Monitor});
constexpr unsigned kPictures = Bits({Command::Measure, Command::Analyze});

// One command: its usage lines and what it does, in the order the overview lists them.
struct CommandText {
    Command command;
    const char* usage;
    const char* summary;
};

const CommandText kCommands[] = {
    {Command::Info, "[--device D]", "ボードを確認して名前とバージョンを表示します"},
    {Command::Measure,
     "[--device D] [--rate SPS] [--filter sinc3|sinc5]\n"
     "[--channel 0|1|2|both] [--count 100|200|500|1000|2000|5000|10000]\n"
     "[--output FILE.DTA] [--force] [--csv FILE] [--png FILE]\n"
     "[--volt] [--json] [--analyze] [--histogram PNG]\n"
     "[--spectrum PNG] [--allan PNG]",
     "測定して統計を表示し、データを保存します\n"
     "（既定値：--rate 10 --count 1000 --channel 0 --filter sinc5）"},
    {Command::Record,
     "[--device D] [--rate SPS] [--filter sinc3|sinc5]\n"
     "[--channel 0|1|2|both] (--count N | --duration 1h30m)\n"
     "--output FILE.csv|FILE.h5 [--format csv|h5] [--compress]\n"
     "[--force] [--timeout S] [--analyze] [--json]",
     "長時間の記録：データを CSV か HDF5 のファイルに書きながら測定します\n"
     "（--count は 1 から 1048575 まで。--duration は 1h30m、90s、2h のように\n"
     "指定し、1048575 データを超えると開始コマンドを続けて送ります）"},
    {Command::Serve,
     "[--device D] [--listen ADDR] [--port N] [--allow LIST]\n"
     "[--no-announce] [--quiet]",
     "ボードをネットワークの計測器にします（TCP の SCPI、既定は 127.0.0.1\n"
     "のポート 5025。--listen 0.0.0.0 でネットワークに開き、--allow\n"
     "192.168.10.0/24,10.1.2.3 で接続元を限ります。Avahi があれば告知します）"},
    {Command::Monitor,
     "[--device D] [--rate SPS] [--filter sinc3|sinc5]\n"
     "[--channel 0|1|2|both] --interval 10s [--duration 7d]\n"
     "[--csv FILE [--force|--append]] [--mqtt URL]\n"
     "[--mqtt-format json|influx] [--id NAME] [--mqtt-ca FILE]\n"
     "[--mqtt-user NAME] [--mqtt-password-file FILE]",
     "測定を続けながら区間ごとの統計（平均値、標準偏差、最小値、\n"
     "最大値）を表示し、CSV ファイルと MQTT ブローカーに送ります\n"
     "（Ctrl-C か SIGTERM まで、または --duration の間）"},
    {Command::Show, "FILE.DTA [--volt] [--json] [--csv FILE] [--png FILE]",
     "データファイルを読み込んで設定と統計を表示します"},
    {Command::Analyze,
     "FILE.DTA|FILE.csv|FILE.h5 [--channel 0|1] [--rate SPS]\n"
     "[--json] [--histogram PNG] [--spectrum PNG] [--allan PNG]",
     "データファイルか CSV の表か HDF5 の記録のノイズを解析します（分解能、\n"
     "ヒストグラム、ノイズスペクトル密度、アラン偏差）"},
    {Command::Convert, "IN OUT [--force] [--compress]",
     "記録を CSV から HDF5 へ、HDF5 から CSV へ変換します\n"
     "（拡張子 .h5 か .hdf5 が HDF5、それ以外は CSV）"},
};

// What an option does for some of the commands that take it; an option may have several texts,
// each for its own commands. Without an option, a note for the commands.
struct OptionText {
    const char* option;
    unsigned commands;
    const char* label;
    const char* text;
};

const OptionText kOptions[] = {
    {"device", ~0U, "--device D",
     "usb:番号（既定は usb:0）、usb:serial=シリアル番号、sim、\n"
     "sim:キー=値,...（下記）、tty:パス"},
    {"device", Bits({Command::Info}), "--device usb:list",
     "FTDI の USB デバイスを一覧表示します（番号、シリアル番号、製品名）"},
    {"rate", kBoardRate, "--rate SPS",
     "1 秒あたりのデータ数。下記のフィルタのレートのうち\n"
     "1 % 以内で最も近いものを選びます（--filter の前後どちらでも可）"},
    {"rate", Bits({Command::Analyze}), "--rate SPS",
     "データのサンプルレート。CSV の表の # 行のレートに\n"
     "優先し、レートの行がない表には必要です"},
    {"filter", ~0U, "--filter", "sinc5：Sinc5+Sinc1（既定）、sinc3：Sinc3"},
    {"channel", kBoardRate, "--channel", "0 は CH0、1 は CH1、2 または both は両チャンネル"},
    {"channel", Bits({Command::Analyze}), "--channel",
     "解析するチャンネル 0 か 1（既定：データのあるすべて）"},
    {"count", Bits({Command::Measure}), "--count N",
     "データ数：100、200、500、1000、2000、5000、10000（既定 1000）"},
    {"count", Bits({Command::Record}), "--count N",
     "データ数：1 から 1048575 まで（一回の開始コマンドで測れる数）"},
    {"duration", ~0U, "--duration", "測定する時間（90s、45m、2h、1h30m、7d など）"},
    {"interval", ~0U, "--interval", "統計の間隔（10s、1m、0.5s など）"},
    {"output", Bits({Command::Measure}), "--output", "DTA ファイル"},
    {"output", Bits({Command::Record}), "--output",
     "CSV か HDF5 のファイル（拡張子 .h5 か .hdf5 なら HDF5）"},
    {"force", ~0U, "--force",
     "既存のファイルを上書きします\n"
     "（ないときは測定の前に断ります）"},
    {"format", ~0U, "--format", "ファイルの種類（csv か h5）。拡張子より優先します"},
    {"compress", ~0U, "--compress", "HDF5 のファイルを圧縮します（shuffle と gzip）"},
    {"timeout", ~0U, "--timeout S", "S 秒データが届かなければ記録を終えます"},
    {"csv", Bits({Command::Measure, Command::Show}), "--csv",
     "# 行（ボード、設定、サンプルレート、データ数、開始時刻）のあとに\n"
     "データ番号、AD変換値、電圧値[uV] の CSV ファイル"},
    {"csv", Bits({Command::Monitor}), "--csv", "区間ごとの統計の CSV ファイル"},
    {"append", ~0U, "--append", "--csv の既存のファイルの続きに追記します"},
    {"png", ~0U, "--png", "グラフの画像"},
    {"volt", ~0U, "--volt", "統計とグラフを電圧値で表示します"},
    {"json", ~0U, "--json", "結果を JSON で表示します"},
    {"analyze", ~0U, "--analyze", "測定したデータのノイズも解析します"},
    {"histogram", ~0U, "--histogram PNG",
     "ヒストグラムの画像（解析のグラフは 800 x 500、--channel の\n"
     "チャンネルか最初のチャンネル）"},
    {"spectrum", ~0U, "--spectrum PNG", "ノイズスペクトル密度の画像"},
    {"allan", ~0U, "--allan PNG", "アラン偏差の画像"},
    {"mqtt", ~0U, "--mqtt URL",
     "mqtt://ホスト[:ポート]/接頭辞 か mqtts://...（TLS）の\n"
     "ブローカーに、接頭辞/ID/status、meta、ch0/stats、ch1/stats を送ります"},
    {"mqtt-format", ~0U, "--mqtt-format json|influx", "統計のメッセージの形式（既定 json）"},
    {"id", ~0U, "--id NAME", "トピックのボード名（既定：ボードの USB シリアル番号かデバイス名）"},
    {"mqtt-ca", ~0U, "--mqtt-ca FILE", "ブローカーの証明書を検証する認証局の証明書"},
    {"mqtt-user", ~0U, "--mqtt-user NAME",
     "ブローカーのユーザー名。パスワードは --mqtt-password-file か\n"
     "環境変数 SELKORAN_MQTT_PASSWORD から読みます"},
    {"mqtt-password-file", ~0U, "--mqtt-password-file FILE",
     "パスワードを 1 行目に書いたファイル。所有者のほかに許可のある\n"
     "ファイル（chmod 600 にしてください）と空のファイルは断ります"},
    {"listen", ~0U, "--listen ADDR",
     "待ち受けるアドレス（既定 127.0.0.1、0.0.0.0 か :: ですべて）"},
    {"port", ~0U, "--port N", "ポート番号（既定 5025、0 は空いているポート）"},
    {"allow", ~0U, "--allow LIST", "接続を受け付けるアドレスとネットワーク（既定：すべて）"},
    {"no-announce", ~0U, "--no-announce", "Avahi で告知しません"},
    {"quiet", ~0U, "--quiet", "接続と切断、ボードのエラーごとの行を出しません"},
    {nullptr, Bits({Command::Measure}), nullptr,
     "書き出すファイルをすべて、ボードに接続する前に確かめます"},
    {nullptr, Bits({Command::Measure}), nullptr,
     "Ctrl-C で測定を中止します（10 データ以上あれば結果を残して保存先を表示します）"},
    {nullptr, Bits({Command::Record}), nullptr,
     "Ctrl-C で記録を中止します（それまでのデータをすべてファイルに残します）"},
};

constexpr int kLabelWidth = 13;
const QString kIndent = QStringLiteral("  ");

QString Name(Command command) {
    return CliOptions::NameOf(command);
}

// Every command in the overview's order.
unsigned AllCommands() {
    unsigned bits = 0;
    for (const CommandText& entry : kCommands) {
        bits |= Bits({entry.command});
    }
    return bits;
}

// The commands of `bits` that take `option` (every command of `bits` for a note).
unsigned Taking(const char* option, unsigned bits) {
    unsigned taking = 0;
    for (const CommandText& entry : kCommands) {
        const unsigned bit = Bits({entry.command});
        if ((bits & bit) != 0U && (option == nullptr || CliOptions::Takes(entry.command, option))) {
            taking |= bit;
        }
    }
    return taking;
}

// "measure、record：": in the overview, the commands a text is for.
QString Prefix(unsigned shown, bool fOverview) {
    if (!fOverview) {
        return {};
    }
    QStringList names;
    for (const CommandText& entry : kCommands) {
        if ((shown & Bits({entry.command})) != 0U) {
            names << Name(entry.command);
        }
    }
    return names.join(QStringLiteral("、")) + QStringLiteral("：");
}

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
QString UsageOf(const CommandText& entry) {
    const QString head = QStringLiteral("selkoran-cli ") + Name(entry.command).leftJustified(8);
    QStringList lines = QString::fromUtf8(entry.usage).split('\n');
    QString usage = kIndent + head + lines.takeFirst() + '\n';
    for (const QString& line : lines) {
        usage += QString(kIndent.size() + head.size(), ' ') + line + '\n';
    }
    return usage;
}

QString SummaryOf(const CommandText& entry) {
    return Labelled(Name(entry.command), QString::fromUtf8(entry.summary));
}

// The options and notes for one command, or in the overview for all.
QString OptionsOf(unsigned bits, bool fOverview) {
    QString text = QStringLiteral("オプション：\n");
    for (const OptionText& option : kOptions) {
        const unsigned shown = Taking(option.option, bits & option.commands);
        if (shown == 0U) {
            continue;
        }
        text += Labelled(QString::fromUtf8(option.label == nullptr ? "" : option.label),
                         Prefix(shown, fOverview) + QString::fromUtf8(option.text));
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
                pairs << pair(CliHelp::RateText(SampleRates::SamplesPerSecond(index, true)),
                              CliHelp::RateText(SampleRates::SamplesPerSecond(index, false)));
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

// The tables behind the options of the commands of `bits`.
QString ValuesOf(unsigned bits) {
    QString text;
    if (Taking("filter", bits) != 0U) {
        text += RateTable();
    }
    if (Taking("device", bits) != 0U) {
        text += SimulatedBoardKeys();
    }
    return text;
}

QString Overview() {
    QString text = QStringLiteral("使い方：\n");
    for (const CommandText& entry : kCommands) {
        text += UsageOf(entry);
    }
    text += '\n';
    for (const CommandText& entry : kCommands) {
        text += SummaryOf(entry);
    }
    text += '\n' + kIndent +
            QStringLiteral("コマンドごとの使い方とオプション：selkoran-cli COMMAND --help\n\n");
    return text + OptionsOf(AllCommands(), true) + ValuesOf(AllCommands());
}

}  // namespace

namespace CliHelp {

QString RateText(double samplesPerSecond) {
    return QString::number(samplesPerSecond, 'g', 10);
}

QString Text(std::optional<CliOptions::Command> command) {
    if (!command) {
        return Overview();
    }
    for (const CommandText& entry : kCommands) {
        if (entry.command == *command) {
            const unsigned bits = Bits({entry.command});
            return QStringLiteral("使い方：\n") + UsageOf(entry) + '\n' + SummaryOf(entry) + '\n' +
                   OptionsOf(bits, false) + ValuesOf(bits);
        }
    }
    return Overview();
}

QString Pointer(std::optional<CliOptions::Command> command) {
    const QString help =
        command ? Name(*command) + QStringLiteral(" --help") : QStringLiteral("--help");
    return QStringLiteral("詳しくは selkoran-cli ") + help + QStringLiteral(" を見てください");
}

QString RateList(bool fSinc5) {
    QStringList rates;
    for (int index = 0; index < kRateCount; ++index) {
        rates << RateText(SampleRates::SamplesPerSecond(index, fSinc5));
    }
    return rates.join(QStringLiteral("、"));
}

QString CountList() {
    QStringList counts;
    for (const int count : kSampleCounts) {
        counts << QString::number(count);
    }
    return counts.join(QStringLiteral("、"));
}

}  // namespace CliHelp
