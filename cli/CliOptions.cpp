// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliOptions.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "Recorder.h"

namespace {

using Command = CliOptions::Command;

constexpr unsigned kInfo = 1U << static_cast<unsigned>(Command::Info);
constexpr unsigned kMeasure = 1U << static_cast<unsigned>(Command::Measure);
constexpr unsigned kShow = 1U << static_cast<unsigned>(Command::Show);
constexpr unsigned kAnalyze = 1U << static_cast<unsigned>(Command::Analyze);
constexpr unsigned kRecord = 1U << static_cast<unsigned>(Command::Record);
constexpr unsigned kMonitor = 1U << static_cast<unsigned>(Command::Monitor);

// The options, whether each takes a value, and the commands that accept it.
struct OptionRule {
    const char* name;
    bool fValue;
    unsigned commands;
};
constexpr OptionRule kOptionRules[] = {{"device", true, kInfo | kMeasure | kRecord | kMonitor},
                                       {"rate", true, kMeasure | kRecord | kMonitor},
                                       {"filter", true, kMeasure | kRecord | kMonitor},
                                       {"channel", true, kMeasure | kAnalyze | kRecord | kMonitor},
                                       {"count", true, kMeasure | kRecord},
                                       {"duration", true, kRecord | kMonitor},
                                       {"timeout", true, kRecord},
                                       {"output", true, kMeasure | kRecord},
                                       {"force", false, kMeasure | kRecord | kMonitor},
                                       {"csv", true, kMeasure | kShow | kMonitor},
                                       {"png", true, kMeasure | kShow},
                                       {"volt", false, kMeasure | kShow},
                                       {"json", false, kMeasure | kShow | kAnalyze | kRecord},
                                       {"analyze", false, kMeasure | kRecord},
                                       {"histogram", true, kMeasure | kAnalyze},
                                       {"spectrum", true, kMeasure | kAnalyze},
                                       {"allan", true, kMeasure | kAnalyze},
                                       {"interval", true, kMonitor},
                                       {"append", false, kMonitor},
                                       {"mqtt", true, kMonitor},
                                       {"mqtt-format", true, kMonitor},
                                       {"id", true, kMonitor},
                                       {"mqtt-ca", true, kMonitor},
                                       {"mqtt-user", true, kMonitor},
                                       {"mqtt-password-file", true, kMonitor}};

const OptionRule* FindRule(const QString& name) {
    const auto* rule = std::find_if(std::begin(kOptionRules), std::end(kOptionRules),
                                    [&name](const OptionRule& s) { return name == s.name; });
    return rule == std::end(kOptionRules) ? nullptr : rule;
}

bool ParseCommand(const QString& text, Command& command) {
    if (text == "info") {
        command = Command::Info;
    } else if (text == "measure") {
        command = Command::Measure;
    } else if (text == "show") {
        command = Command::Show;
    } else if (text == "analyze") {
        command = Command::Analyze;
    } else if (text == "record") {
        command = Command::Record;
    } else if (text == "monitor") {
        command = Command::Monitor;
    } else {
        return false;
    }
    return true;
}

// A whole decimal number within first..last.
bool ParseIndex(const QString& text, int first, int last, int& value) {
    bool fOk = false;
    const int number = text.toInt(&fOk, 10);
    if (!fOk || number < first || number > last || text.trimmed() != text) {
        return false;
    }
    value = number;
    return true;
}

// A recording's count: any number of samples one start command can ask for.
bool ParseRecordCount(const QString& text, std::int64_t& count) {
    bool fOk = false;
    const qlonglong number = text.toLongLong(&fOk, 10);
    if (!fOk || number < 1 || number > Recorder::kMaxStartCount || text.trimmed() != text) {
        return false;
    }
    count = number;
    return true;
}

// "1h30m", "90s", "2h", "1.5h", "1h30m15s", "7d": days, hours, minutes and seconds in that
// order, each at most once, together more than nothing.
bool ParseDuration(const QString& text, std::optional<std::chrono::duration<double>>& duration) {
    static const QRegularExpression pattern(
        QStringLiteral("^(?:(\\d+(?:\\.\\d+)?)d)?(?:(\\d+(?:\\.\\d+)?)h)?(?:(\\d+(?:\\.\\d+)?)m)?"
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
    duration = std::chrono::duration<double>(seconds);
    return true;
}

bool ParseSeconds(const QString& text, std::optional<double>& seconds) {
    bool fOk = false;
    const double value = text.toDouble(&fOk);
    if (!fOk || !(value > 0.0) || !std::isfinite(value) || text.trimmed() != text) {
        return false;
    }
    seconds = value;
    return true;
}

bool ParseCount(const QString& text, CliOptions& options) {
    if (options.command == Command::Record) {
        return ParseRecordCount(text, options.recordCount);
    }
    for (int i = 0; i < kSampleCountCount; ++i) {
        if (text == QString::number(kSampleCounts[i])) {
            options.DataCountSel = i;
            options.request.count = kSampleCounts[i];
            return true;
        }
    }
    return false;
}

bool ParseFilter(const QString& text, bool& fSinc5) {
    if (text != "sinc3" && text != "sinc5") {
        return false;
    }
    fSinc5 = text == "sinc5";
    return true;
}

bool StoreValue(const QString& name, const QString& value, CliOptions& options) {
    if (name == "device") {
        options.device = value;
    } else if (name == "rate" && options.command == Command::Monitor) {
        options.monitor.rate = value;
    } else if (name == "interval") {
        return ParseDuration(value, options.monitor.interval);
    } else if (name.startsWith("mqtt") || name == "id") {
        return options.monitor.Store(name, value);
    } else if (name == "rate") {
        return ParseIndex(value, 0, kRateCount - 1, options.request.spsSel);
    } else if (name == "filter") {
        return ParseFilter(value, options.request.fSinc5);
    } else if (name == "channel" && options.command == Command::Analyze) {
        int channel = 0;
        if (!ParseIndex(value, 0, 1, channel)) {
            return false;
        }
        options.analysisChannel = channel;
    } else if (name == "channel") {
        return ParseIndex(value, 0, kChannelChoiceCount - 1, options.request.chSel);
    } else if (name == "count") {
        return ParseCount(value, options);
    } else if (name == "duration") {
        return ParseDuration(value, options.recordDuration);
    } else if (name == "timeout") {
        return ParseSeconds(value, options.timeoutSeconds);
    } else if (name == "output") {
        options.output = value;
    } else if (name == "csv") {
        options.csvFile = value;
    } else if (name == "png") {
        options.pngFile = value;
    } else if (name == "histogram") {
        options.histogramFile = value;
    } else if (name == "spectrum") {
        options.spectrumFile = value;
    } else if (name == "allan") {
        options.allanFile = value;
    }
    return !value.isEmpty();
}

void StoreFlag(const QString& name, CliOptions& options) {
    if (name == "force") {
        options.fForce = true;
    } else if (name == "volt") {
        options.fVolt = true;
    } else if (name == "json") {
        options.fJson = true;
    } else if (name == "analyze") {
        options.fAnalyze = true;
    } else if (name == "append") {
        options.monitor.fAppend = true;
    }
}

// A recording needs its length, one way only, and its file.
bool CheckRecord(const CliOptions& options, QString& error) {
    if (options.command != Command::Record) {
        return true;
    }
    if ((options.recordCount > 0) == options.recordDuration.has_value()) {
        error =
            QStringLiteral("record には --count か --duration のどちらか一つを指定してください");
        return false;
    }
    if (options.output.isEmpty()) {
        error = QStringLiteral("record には --output で CSV ファイルを指定してください");
        return false;
    }
    return true;
}

}  // namespace

CliOptions::ParseResult CliOptions::Parse(const QStringList& arguments, CliOptions& options,
                                          QString& error) {
    if (arguments.contains("--help") || arguments.contains("-h")) {
        return ParseResult::Help;
    }
    if (arguments.contains("--version")) {
        return ParseResult::Version;
    }
    if (arguments.isEmpty() || !ParseCommand(arguments.first(), options.command)) {
        error = QStringLiteral(
            "コマンドを指定してください（info、measure、show、analyze、record、monitor）");
        return ParseResult::Bad;
    }
    const unsigned commandBit = 1U << static_cast<unsigned>(options.command);
    QStringList positional;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith("--")) {
            positional << argument;
            continue;
        }
        const qsizetype equals = argument.indexOf('=');
        const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
        const OptionRule* rule = FindRule(name);
        if (rule == nullptr || (rule->commands & commandBit) == 0U) {
            error = QStringLiteral("このコマンドでは使えないオプションです: ") + argument;
            return ParseResult::Bad;
        }
        if (!rule->fValue) {
            if (equals >= 0) {
                error = QStringLiteral("値を取らないオプションです: ") + argument;
                return ParseResult::Bad;
            }
            StoreFlag(name, options);
            continue;
        }
        QString value;
        if (equals >= 0) {
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        }
        if (!StoreValue(name, value, options)) {
            error = QStringLiteral("オプションの値が正しくありません: --") + name + " " + value;
            return ParseResult::Bad;
        }
    }
    const bool fReadsFile = options.command == Command::Show || options.command == Command::Analyze;
    const qsizetype expected = fReadsFile ? 1 : 0;
    if (positional.size() != expected) {
        error = fReadsFile ? arguments.first() +
                                 QStringLiteral(" にはデータファイルを一つ指定してください")
                           : QStringLiteral("余分な引数があります: ") + positional.join(' ');
        return ParseResult::Bad;
    }
    if (expected == 1) {
        options.dataFile = positional.first();
    }
    const bool fMonitorOk =
        options.command != Command::Monitor || MonitorOptions::Check(options, error);
    return CheckRecord(options, error) && fMonitorOk ? ParseResult::Ok : ParseResult::Bad;
}

std::int64_t CliOptions::RecordSamples() const {
    if (recordDuration) {
        return Recorder::SamplesIn(*recordDuration, request.spsSel, request.fSinc5);
    }
    return recordCount;
}

bool CliOptions::WantsPicture() const {
    return !pngFile.isEmpty() || !histogramFile.isEmpty() || !spectrumFile.isEmpty() ||
           !allanFile.isEmpty();
}

bool CliOptions::WantsAnalysis() const {
    return command == Command::Analyze || fAnalyze || !histogramFile.isEmpty() ||
           !spectrumFile.isEmpty() || !allanFile.isEmpty();
}

MeasureSettings CliOptions::Settings() const {
    MeasureSettings settings;
    settings.spsSel = request.spsSel;
    settings.DataCountSel = DataCountSel;
    settings.CHSel = request.chSel;
    settings.fSinc5 = request.fSinc5;
    return settings;
}

QString CliOptions::UsageText() {
    return QStringLiteral(
        "使い方:\n"
        "  selkoran-cli info    [--device D]\n"
        "  selkoran-cli measure [--device D] [--rate 0..16] [--filter sinc3|sinc5]\n"
        "                       [--channel 0|1|2] [--count 100|200|500|1000|2000|5000|10000]\n"
        "                       [--output FILE.DTA] [--force] [--csv FILE] [--png FILE]\n"
        "                       [--volt] [--json] [--analyze] [--histogram PNG]\n"
        "                       [--spectrum PNG] [--allan PNG]\n"
        "  selkoran-cli record  [--device D] [--rate 0..16] [--filter sinc3|sinc5]\n"
        "                       [--channel 0|1|2] (--count N | --duration 1h30m)\n"
        "                       --output FILE.csv [--force] [--timeout S] [--analyze] [--json]\n"
        "  selkoran-cli monitor [--device D] [--rate SPS] [--filter sinc3|sinc5]\n"
        "                       [--channel 0|1|2] --interval 10s [--duration 7d]\n"
        "                       [--csv FILE [--force|--append]] [--mqtt URL]\n"
        "                       [--mqtt-format json|influx] [--id NAME] [--mqtt-ca FILE]\n"
        "                       [--mqtt-user NAME] [--mqtt-password-file FILE]\n"
        "  selkoran-cli show    FILE.DTA [--volt] [--json] [--csv FILE] [--png FILE]\n"
        "  selkoran-cli analyze FILE.DTA|FILE.csv [--channel 0|1] [--json] [--histogram PNG]\n"
        "                       [--spectrum PNG] [--allan PNG]\n"
        "\n"
        "  info     ボードを確認して名前とバージョンを表示します\n"
        "  measure  測定して統計を表示し、データを保存します\n"
        "           （既定値: --rate 3 --count 1000 --channel 0 --filter sinc5）\n"
        "  record   長時間の記録: データを CSV ファイルに書きながら測定します\n"
        "           （--count は 1 から 1048575 まで。--duration は 1h30m、90s、2h のように\n"
        "           指定し、1048575 データを超えると開始コマンドを続けて送ります）\n"
        "  monitor  測定を続けながら区間ごとの統計（平均値、標準偏差、最小値、\n"
        "           最大値）を表示し、CSV ファイルと MQTT ブローカーに送ります\n"
        "           （Ctrl-C か SIGTERM まで、または --duration の間）\n"
        "  show     データファイルを読み込んで設定と統計を表示します\n"
        "  analyze  データファイルか記録の CSV ファイルのノイズを解析します（分解能、\n"
        "           ヒストグラム、ノイズスペクトル密度、アラン偏差）\n"
        "\n"
        "  --device D   usb:番号（既定は usb:0）、usb:serial=シリアル番号、sim、\n"
        "               sim:キー=値,...、tty:パス\n"
        "               info --device usb:list は FTDI の USB デバイスを一覧表示します\n"
        "               （番号、シリアル番号、製品名）\n"
        "  --output     measure: DTA ファイル、record: CSV ファイル\n"
        "               （既存のファイルは --force のときだけ上書きします）\n"
        "  --csv        データ番号、AD変換値、電圧値[uV] の CSV ファイル\n"
        "  --png        グラフの画像\n"
        "  --volt       統計とグラフを電圧値で表示します\n"
        "  --json       結果を JSON で表示します\n"
        "  --analyze    measure、record: 測定したデータのノイズも解析します\n"
        "  --timeout S  record: S 秒データが届かなければ記録を終えます\n"
        "  --channel    analyze: 解析するチャンネル（既定: データのあるすべて）\n"
        "  --rate SPS   monitor: 1 秒あたりのデータ数（1.25 から 31250、既定 10）\n"
        "  --interval   monitor: 統計の間隔（10s、1m、0.5s など）\n"
        "  --duration   record、monitor: 測定する時間（90s、45m、2h、1h30m、7d など）\n"
        "  --csv FILE   monitor: 区間ごとの統計の CSV ファイル（既存のファイルは --force で\n"
        "               上書き、--append で続きに追記）\n"
        "  --mqtt URL   monitor: mqtt://ホスト[:ポート]/接頭辞 か mqtts://...（TLS）の\n"
        "               ブローカーに、接頭辞/ID/status、meta、ch0/stats、ch1/stats を送ります\n"
        "  --mqtt-format json|influx  統計のメッセージの形式（既定 json）\n"
        "  --id NAME    トピックのボード名（既定: ボードの USB シリアル番号かデバイス名）\n"
        "  --mqtt-ca FILE  ブローカーの証明書を検証する認証局の証明書\n"
        "  --mqtt-user NAME  ブローカーのユーザー名。パスワードは --mqtt-password-file の\n"
        "               ファイルの 1 行目か、環境変数 SELKORAN_MQTT_PASSWORD から読みます\n"
        "  --histogram, --spectrum, --allan\n"
        "               解析のグラフの画像（800 x 500、--channel のチャンネルか最初のチャンネル）\n"
        "  Ctrl-C で測定を中止します（measure は 10 データ以上あれば結果を残し、\n"
        "  record はそれまでのデータをすべてファイルに残します）\n");
}
