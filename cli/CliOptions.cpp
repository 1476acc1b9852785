// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliOptions.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "common/SampleRates.h"
#include "measure/Acquisition.h"
#include "record/RecordingSession.h"

namespace {

using Command = CliOptions::Command;

constexpr unsigned kInfo = 1U << static_cast<unsigned>(Command::Info);
constexpr unsigned kMeasure = 1U << static_cast<unsigned>(Command::Measure);
constexpr unsigned kShow = 1U << static_cast<unsigned>(Command::Show);
constexpr unsigned kAnalyze = 1U << static_cast<unsigned>(Command::Analyze);
constexpr unsigned kRecord = 1U << static_cast<unsigned>(Command::Record);
constexpr unsigned kServe = 1U << static_cast<unsigned>(Command::Serve);
constexpr unsigned kMonitor = 1U << static_cast<unsigned>(Command::Monitor);
constexpr unsigned kConvert = 1U << static_cast<unsigned>(Command::Convert);

// The options, whether each takes a value, and the commands that accept it.
struct OptionRule {
    const char* name;
    bool fValue;
    unsigned commands;
};
constexpr OptionRule kOptionRules[] = {
    {"device", true, kInfo | kMeasure | kRecord | kServe | kMonitor},
    {"listen", true, kServe},
    {"port", true, kServe},
    {"allow", true, kServe},
    {"no-announce", false, kServe},
    {"quiet", false, kServe},
    {"rate", true, kMeasure | kAnalyze | kRecord | kMonitor},
    {"filter", true, kMeasure | kRecord | kMonitor},
    {"channel", true, kMeasure | kAnalyze | kRecord | kMonitor},
    {"count", true, kMeasure | kRecord},
    {"duration", true, kRecord | kMonitor},
    {"timeout", true, kRecord},
    {"output", true, kMeasure | kRecord},
    {"force", false, kMeasure | kRecord | kMonitor | kConvert},
    {"format", true, kRecord},
    {"compress", false, kRecord | kConvert},
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
    } else if (text == "serve") {
        command = Command::Serve;
    } else if (text == "monitor") {
        command = Command::Monitor;
    } else if (text == "convert") {
        command = Command::Convert;
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

// Samples per second: a plain decimal figure above 0 ("31250", "100.2", "2.5").
bool ParseSamplesPerSecond(const QString& text, std::optional<double>& samplesPerSecond) {
    static const QRegularExpression pattern(QStringLiteral("^\\d+(?:\\.\\d+)?$"));
    const double value = text.toDouble();
    if (!pattern.match(text).hasMatch() || !(value > 0.0) || !std::isfinite(value)) {
        return false;
    }
    samplesPerSecond = value;
    return true;
}

// 0, 1, or both channels as 2 or "both".
bool ParseChannelChoice(const QString& text, int& chSel) {
    if (text == "both") {
        chSel = 2;
        return true;
    }
    return ParseIndex(text, 0, kChannelChoiceCount - 1, chSel);
}

QString FilterName(bool fSinc5) {
    return fSinc5 ? QStringLiteral("sinc5") : QStringLiteral("sinc3");
}

QString RateText(double samplesPerSecond) {
    return QString::number(samplesPerSecond, 'g', 10);
}

// The board's rates for one filter, "1.25、2.5、...、31250".
QString RateList(bool fSinc5) {
    QStringList rates;
    for (int index = 0; index < kRateCount; ++index) {
        rates << RateText(SampleRates::SamplesPerSecond(index, fSinc5));
    }
    return rates.join(QStringLiteral("、"));
}

// Both filters' rates side by side, the 17 rates in two halves of 9 rows, left-aligned so
// that the manual page made from this text keeps the columns.
QString RateTable() {
    constexpr int kRows = (kRateCount + 1) / 2;
    const auto pair = [](const QString& sinc5, const QString& sinc3) {
        return QStringLiteral("%1  %2").arg(sinc5, -7).arg(sinc3, -7);
    };
    const QString heading = pair(QStringLiteral("sinc5"), QStringLiteral("sinc3"));
    QString table = "  " + heading + "    " + heading.trimmed() + '\n';
    for (int row = 0; row < kRows; ++row) {
        QStringList pairs;
        for (const int index : {row, row + kRows}) {
            if (index < kRateCount) {
                pairs << pair(RateText(SampleRates::SamplesPerSecond(index, true)),
                              RateText(SampleRates::SamplesPerSecond(index, false)));
            }
        }
        table += "  " + pairs.join(QStringLiteral("    ")).trimmed() + '\n';
    }
    return table;
}

// measure, record: --rate names one of the chosen filter's rates, whichever of --rate and
// --filter came first.
bool ResolveRate(CliOptions& options, QString& error) {
    const bool fSetsBoard = options.command == Command::Measure ||
                            options.command == Command::Record ||
                            options.command == Command::Monitor;
    if (!fSetsBoard || !options.samplesPerSecond) {
        return true;
    }
    const bool fSinc5 = options.request.fSinc5;
    const std::optional<int> index = SampleRates::IndexOf(*options.samplesPerSecond, fSinc5);
    if (!index) {
        error = QStringLiteral(
                    "--rate %1 は %2 フィルタのレートではありません。使えるレート（sps）：%3")
                    .arg(RateText(*options.samplesPerSecond), FilterName(fSinc5), RateList(fSinc5));
        return false;
    }
    options.request.spsSel = *index;
    return true;
}

// A recording's count: any number of samples one start command can ask for.
bool ParseRecordCount(const QString& text, std::int64_t& count) {
    bool fOk = false;
    const qlonglong number = text.toLongLong(&fOk, 10);
    if (!fOk || number < 1 || number > Acquisition::kMaxStartCount || text.trimmed() != text) {
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
    } else if (name == "interval") {
        return ParseDuration(value, options.monitor.interval);
    } else if (name.startsWith("mqtt") || name == "id") {
        return options.monitor.Store(name, value);
    } else if (name == "rate") {
        return ParseSamplesPerSecond(value, options.samplesPerSecond);
    } else if (name == "filter") {
        return ParseFilter(value, options.request.fSinc5);
    } else if (name == "channel" && options.command == Command::Analyze) {
        int channel = 0;
        if (!ParseIndex(value, 0, 1, channel)) {
            return false;
        }
        options.analysisChannel = channel;
    } else if (name == "channel") {
        return ParseChannelChoice(value, options.request.chSel);
    } else if (name == "count") {
        return ParseCount(value, options);
    } else if (name == "duration") {
        return ParseDuration(value, options.recordDuration);
    } else if (name == "timeout") {
        return ParseSeconds(value, options.timeoutSeconds);
    } else if (name == "listen") {
        options.listen = value;
    } else if (name == "port") {
        int port = 0;
        const bool fPort = ParseIndex(value, 0, 65535, port);
        options.port = static_cast<std::uint16_t>(port);
        return fPort;
    } else if (name == "allow") {
        options.allow = value;
        return true;  // empty: every peer
    } else if (name == "output") {
        options.output = value;
    } else if (name == "format") {
        options.format = value;
        return value == "csv" || value == "h5";
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
    } else if (name == "no-announce") {
        options.fNoAnnounce = true;
    } else if (name == "quiet") {
        options.fQuiet = true;
    } else if (name == "append") {
        options.monitor.fAppend = true;
    } else if (name == "compress") {
        options.fCompress = true;
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
        error = QStringLiteral("record には --output で CSV か HDF5 のファイルを指定してください");
        return false;
    }
    return true;
}

// Compression is HDF5's.
bool CheckCompress(const CliOptions& options, QString& error) {
    if (options.fCompress && !options.WritesHdf5()) {
        error = QStringLiteral("--compress は HDF5 のファイルを書くときだけ使えます");
        return false;
    }
    return true;
}

// The number of file names a command takes.
qsizetype FilesTaken(Command command) {
    switch (command) {
        case Command::Show:
        case Command::Analyze:
            return 1;
        case Command::Convert:
            return 2;
        default:
            return 0;
    }
}

// Why the file names given do not fit the command.
QString FilesError(const QString& command, qsizetype expected, const QStringList& positional) {
    if (expected == 2) {
        return command + QStringLiteral(" には変換元と変換先のファイルを指定してください");
    }
    if (expected == 1) {
        return command + QStringLiteral(" にはデータファイルを一つ指定してください");
    }
    return QStringLiteral("余分な引数があります: ") + positional.join(' ');
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
            "コマンドを指定してください（info、measure、show、analyze、record、serve、monitor、"
            "convert）");
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
    const qsizetype expected = FilesTaken(options.command);
    if (positional.size() != expected) {
        error = FilesError(arguments.first(), expected, positional);
        return ParseResult::Bad;
    }
    if (expected >= 1) {
        options.dataFile = positional.first();
    }
    if (expected == 2) {
        options.output = positional.last();
    }
    const bool fMonitorOk =
        options.command != Command::Monitor || MonitorOptions::Check(options, error);
    return ResolveRate(options, error) && CheckRecord(options, error) &&
                   CheckCompress(options, error) && fMonitorOk
               ? ParseResult::Ok
               : ParseResult::Bad;
}

std::int64_t CliOptions::RecordSamples() const {
    if (recordDuration) {
        return SampleRates::SamplesIn(*recordDuration, request.spsSel, request.fSinc5);
    }
    return recordCount;
}

bool CliOptions::WritesHdf5() const {
    if (command == Command::Record && !format.isEmpty()) {
        return format == "h5";
    }
    return RecordingSession::TypeOf(output.toStdString()) == RecordingSession::FileType::Hdf5;
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
               "  selkoran-cli measure [--device D] [--rate SPS] [--filter sinc3|sinc5]\n"
               "                       [--channel 0|1|2|both] [--count "
               "100|200|500|1000|2000|5000|10000]\n"
               "                       [--output FILE.DTA] [--force] [--csv FILE] [--png FILE]\n"
               "                       [--volt] [--json] [--analyze] [--histogram PNG]\n"
               "                       [--spectrum PNG] [--allan PNG]\n"
               "  selkoran-cli record  [--device D] [--rate SPS] [--filter sinc3|sinc5]\n"
               "                       [--channel 0|1|2|both] (--count N | --duration 1h30m)\n"
               "                       --output FILE.csv|FILE.h5 [--format csv|h5] [--compress]\n"
               "                       [--force] [--timeout S] [--analyze] [--json]\n"
               "  selkoran-cli serve   [--device D] [--listen ADDR] [--port N] [--allow LIST]\n"
               "                       [--no-announce] [--quiet]\n"
               "  selkoran-cli monitor [--device D] [--rate SPS] [--filter sinc3|sinc5]\n"
               "                       [--channel 0|1|2|both] --interval 10s [--duration 7d]\n"
               "                       [--csv FILE [--force|--append]] [--mqtt URL]\n"
               "                       [--mqtt-format json|influx] [--id NAME] [--mqtt-ca FILE]\n"
               "                       [--mqtt-user NAME] [--mqtt-password-file FILE]\n"
               "  selkoran-cli show    FILE.DTA [--volt] [--json] [--csv FILE] [--png FILE]\n"
               "  selkoran-cli analyze FILE.DTA|FILE.csv|FILE.h5 [--channel 0|1] [--rate SPS]\n"
               "                       [--json] [--histogram PNG] [--spectrum PNG] [--allan PNG]\n"
               "  selkoran-cli convert IN OUT [--force] [--compress]\n"
               "\n"
               "  info     ボードを確認して名前とバージョンを表示します\n"
               "  measure  測定して統計を表示し、データを保存します\n"
               "           （既定値: --rate 10 --count 1000 --channel 0 --filter sinc5）\n"
               "  record   長時間の記録: データを CSV か HDF5 のファイルに書きながら測定します\n"
               "           （--count は 1 から 1048575 まで。--duration は 1h30m、90s、2h "
               "のように\n"
               "           指定し、1048575 データを超えると開始コマンドを続けて送ります）\n"
               "  serve    ボードをネットワークの計測器にします（TCP の SCPI、既定は 127.0.0.1\n"
               "           のポート 5025。--listen 0.0.0.0 でネットワークに開き、--allow\n"
               "           192.168.10.0/24,10.1.2.3 で接続元を限ります。Avahi "
               "があれば告知します）\n"
               "  monitor  測定を続けながら区間ごとの統計（平均値、標準偏差、最小値、\n"
               "           最大値）を表示し、CSV ファイルと MQTT ブローカーに送ります\n"
               "           （Ctrl-C か SIGTERM まで、または --duration の間）\n"
               "  show     データファイルを読み込んで設定と統計を表示します\n"
               "  analyze  データファイルか CSV の表か HDF5 の記録のノイズを解析します（分解能、\n"
               "           ヒストグラム、ノイズスペクトル密度、アラン偏差）\n"
               "  convert  記録を CSV から HDF5 へ、HDF5 から CSV へ変換します\n"
               "           （拡張子 .h5 か .hdf5 が HDF5、それ以外は CSV）\n"
               "\n"
               "  --device D   usb:番号（既定は usb:0）、usb:serial=シリアル番号、sim、\n"
               "               sim:キー=値,...（下記）、tty:パス\n"
               "               info --device usb:list は FTDI の USB デバイスを一覧表示します\n"
               "               （番号、シリアル番号、製品名）\n"
               "  --rate SPS   measure、record、monitor: 1 "
               "秒あたりのデータ数。下記のフィルタのレートのうち\n"
               "               1 % 以内で最も近いものを選びます（--filter の前後どちらでも可）\n"
               "               analyze: データのサンプルレート。CSV の表の # 行のレートに\n"
               "               優先し、レートの行がない表には必要です\n"
               "  --filter     sinc5: Sinc5+Sinc1（既定）、sinc3: Sinc3\n"
               "  --channel    measure、record、monitor: 0 は CH0、1 は CH1、2 または both "
               "は両チャンネル\n"
               "               analyze: 解析するチャンネル 0 か 1（既定: データのあるすべて）\n"
               "  --output     measure: DTA ファイル、record: CSV か HDF5 のファイル（拡張子\n"
               "               .h5 か .hdf5 なら HDF5）\n"
               "  --force      measure、record、monitor、convert: 既存のファイルを上書きします\n"
               "               （ないときは測定の前に断ります）\n"
               "  --csv        # 行（ボード、設定、サンプルレート、データ数、開始時刻）のあとに\n"
               "               データ番号、AD変換値、電圧値[uV] の CSV ファイル\n"
               "               monitor: 区間ごとの統計の CSV ファイル\n"
               "  --png        グラフの画像\n"
               "  --volt       統計とグラフを電圧値で表示します\n"
               "  --json       結果を JSON で表示します\n"
               "  --analyze    measure、record: 測定したデータのノイズも解析します\n"
               "  --timeout S  record: S 秒データが届かなければ記録を終えます\n"
               "  --format     record: ファイルの種類（csv か h5）。拡張子より優先します\n"
               "  --compress   record、convert: HDF5 のファイルを圧縮します（shuffle と gzip）\n"
               "  --interval   monitor: 統計の間隔（10s、1m、0.5s など）\n"
               "  --duration   record、monitor: 測定する時間（90s、45m、2h、1h30m、7d など）\n"
               "  --append     monitor: --csv の既存のファイルの続きに追記します\n"
               "  --mqtt URL   monitor: mqtt://ホスト[:ポート]/接頭辞 か mqtts://...（TLS）の\n"
               "               ブローカーに、接頭辞/ID/status、meta、ch0/stats、ch1/stats "
               "を送ります\n"
               "  --mqtt-format json|influx  統計のメッセージの形式（既定 json）\n"
               "  --id NAME    トピックのボード名（既定: ボードの USB シリアル番号かデバイス名）\n"
               "  --mqtt-ca FILE  ブローカーの証明書を検証する認証局の証明書\n"
               "  --mqtt-user NAME  ブローカーのユーザー名。パスワードは --mqtt-password-file の\n"
               "               ファイルの 1 行目か、環境変数 SELKORAN_MQTT_PASSWORD から読みます\n"
               "  --histogram, --spectrum, --allan\n"
               "               解析のグラフの画像（800 x 500、--channel "
               "のチャンネルか最初のチャンネル）\n"
               "  --listen ADDR  serve: 待ち受けるアドレス（既定 127.0.0.1、0.0.0.0 か :: "
               "ですべて）\n"
               "  --port N       serve: ポート番号（既定 5025、0 は空いているポート）\n"
               "  --allow LIST   serve: 接続を受け付けるアドレスとネットワーク（既定: すべて）\n"
               "  --no-announce  serve: Avahi で告知しません\n"
               "  --quiet        serve: 接続と切断、ボードのエラーごとの行を出しません\n"
               "  measure は書き出すファイルをすべて、ボードに接続する前に確かめます\n"
               "  Ctrl-C で測定を中止します（measure は 10 データ以上あれば結果を残して\n"
               "  保存先を表示し、record はそれまでのデータをすべてファイルに残します）\n"
               "\n"
               "レート（1 秒あたりのデータ数、--rate SPS）:\n") +
           RateTable() +
           QStringLiteral(
               "\n"
               "模擬ボードのキー（--device sim:キー=値,...、K はデータ番号で 0 から）:\n"
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
