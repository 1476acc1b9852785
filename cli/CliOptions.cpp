// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliOptions.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "cli/CliHelp.h"
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

// The commands by name, in the enumeration's order.
constexpr const char* kCommandNames[] = {"info",   "measure", "show",    "analyze",
                                         "record", "serve",   "monitor", "convert"};

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
                    .arg(CliHelp::RateText(*options.samplesPerSecond), FilterName(fSinc5),
                         CliHelp::RateList(fSinc5));
        return false;
    }
    options.request.spsSel = *index;
    return true;
}

// A recording's count: any number of samples one start command can ask for.
bool ParseRecordCount(const QString& text, std::int64_t& count, QString& error) {
    bool fOk = false;
    const qlonglong number = text.toLongLong(&fOk, 10);
    if (!fOk || number < 1 || number > Acquisition::kMaxStartCount || text.trimmed() != text) {
        error = QStringLiteral(
                    "--count %1 は記録できません。記録できるデータ数：1 から %2 まで（それより長い"
                    "記録は --duration で指定してください）")
                    .arg(text)
                    .arg(Acquisition::kMaxStartCount);
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

bool ParseCount(const QString& text, CliOptions& options, QString& error) {
    if (options.command == Command::Record) {
        return ParseRecordCount(text, options.recordCount, error);
    }
    for (int i = 0; i < kSampleCountCount; ++i) {
        if (text == QString::number(kSampleCounts[i])) {
            options.DataCountSel = i;
            options.request.count = kSampleCounts[i];
            return true;
        }
    }
    error = QStringLiteral("--count %1 は選べません。選べるデータ数：%2")
                .arg(text, CliHelp::CountList());
    return false;
}

bool ParseFilter(const QString& text, bool& fSinc5) {
    if (text != "sinc3" && text != "sinc5") {
        return false;
    }
    fSinc5 = text == "sinc5";
    return true;
}

// False when the value is bad; `error` then says why where a plain "not right" says too little.
bool StoreValue(const QString& name, const QString& value, CliOptions& options, QString& error) {
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
        return ParseCount(value, options, error);
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
    return QStringLiteral("余分な引数があります：") + positional.join(' ');
}

// An option `command` takes, given once.
bool OptionUsable(Command command, const QString& name, const QStringList& given, QString& error) {
    if (FindRule(name) == nullptr) {
        error = QStringLiteral("不明なオプションです：--") + name;
        return false;
    }
    if (!CliOptions::Takes(command, name)) {
        error =
            CliOptions::NameOf(command) + QStringLiteral(" では使えないオプションです：--") + name;
        return false;
    }
    if (given.contains(name)) {
        error = QStringLiteral("オプションが二度指定されています：--") + name;
        return false;
    }
    return true;
}

}  // namespace

std::optional<CliOptions::Command> CliOptions::CommandNamed(const QString& name) {
    for (std::size_t i = 0; i < std::size(kCommandNames); ++i) {
        if (name == kCommandNames[i]) {
            return static_cast<Command>(i);
        }
    }
    return std::nullopt;
}

QString CliOptions::NameOf(Command command) {
    return QString::fromLatin1(kCommandNames[static_cast<std::size_t>(command)]);
}

bool CliOptions::Takes(Command command, const QString& option) {
    const OptionRule* rule = FindRule(option);
    return rule != nullptr && (rule->commands & (1U << static_cast<unsigned>(command))) != 0U;
}

CliOptions::ParseResult CliOptions::Parse(const QStringList& arguments, CliOptions& options,
                                          QString& error) {
    if (arguments.contains("--help") || arguments.contains("-h")) {
        return ParseResult::Help;
    }
    if (arguments.contains("--version")) {
        return ParseResult::Version;
    }
    const std::optional<Command> command =
        arguments.isEmpty() ? std::nullopt : CommandNamed(arguments.first());
    if (!command) {
        error = arguments.isEmpty() || arguments.first().startsWith('-')
                    ? QStringLiteral(
                          "コマンドを指定してください（info、measure、show、analyze、record、"
                          "serve、monitor、convert）")
                    : QStringLiteral("不明なコマンドです：") + arguments.first();
        return ParseResult::Bad;
    }
    options.command = *command;
    QStringList positional;
    QStringList given;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith("--")) {
            positional << argument;
            continue;
        }
        const qsizetype equals = argument.indexOf('=');
        const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
        if (!OptionUsable(options.command, name, given, error)) {
            return ParseResult::Bad;
        }
        given << name;
        if (!FindRule(name)->fValue) {
            if (equals >= 0) {
                error = QStringLiteral("値を取らないオプションです：") + argument;
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
        } else {
            error = QStringLiteral("--") + name + QStringLiteral(" の値がありません");
            return ParseResult::Bad;
        }
        if (!StoreValue(name, value, options, error)) {
            if (error.isEmpty()) {
                error = QStringLiteral("オプションの値が正しくありません：--") + name + ' ' + value;
            }
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
