#include "CliOptions.h"

#include <algorithm>
#include <iterator>

namespace {

using Command = CliOptions::Command;

constexpr unsigned kInfo = 1U << static_cast<unsigned>(Command::Info);
constexpr unsigned kMeasure = 1U << static_cast<unsigned>(Command::Measure);
constexpr unsigned kShow = 1U << static_cast<unsigned>(Command::Show);
constexpr unsigned kAnalyze = 1U << static_cast<unsigned>(Command::Analyze);

// The options, whether each takes a value, and the commands that accept it.
struct OptionRule {
    const char* name;
    bool fValue;
    unsigned commands;
};
constexpr OptionRule kOptionRules[] = {{"device", true, kInfo | kMeasure},
                                       {"rate", true, kMeasure},
                                       {"filter", true, kMeasure},
                                       {"channel", true, kMeasure | kAnalyze},
                                       {"count", true, kMeasure},
                                       {"output", true, kMeasure},
                                       {"force", false, kMeasure},
                                       {"csv", true, kMeasure | kShow},
                                       {"png", true, kMeasure | kShow},
                                       {"volt", false, kMeasure | kShow},
                                       {"json", false, kMeasure | kShow | kAnalyze},
                                       {"analyze", false, kMeasure},
                                       {"histogram", true, kMeasure | kAnalyze},
                                       {"spectrum", true, kMeasure | kAnalyze},
                                       {"allan", true, kMeasure | kAnalyze}};

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

bool ParseCount(const QString& text, CliOptions& options) {
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
    }
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
        error = QStringLiteral("コマンドを指定してください（info、measure、show、analyze）");
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
    return ParseResult::Ok;
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
        "  selkoran-cli show    FILE.DTA [--volt] [--json] [--csv FILE] [--png FILE]\n"
        "  selkoran-cli analyze FILE.DTA [--channel 0|1] [--json] [--histogram PNG]\n"
        "                       [--spectrum PNG] [--allan PNG]\n"
        "\n"
        "  info     ボードを確認して名前とバージョンを表示します\n"
        "  measure  測定して統計を表示し、データを保存します\n"
        "           （既定値: --rate 3 --count 1000 --channel 0 --filter sinc5）\n"
        "  show     データファイルを読み込んで設定と統計を表示します\n"
        "  analyze  データファイルのノイズを解析します（分解能、ヒストグラム、\n"
        "           ノイズスペクトル密度、アラン偏差）\n"
        "\n"
        "  --device D   usb:0（既定）、sim、sim:キー=値,...、tty:パス\n"
        "  --output     DTA ファイル（既存のファイルは --force のときだけ上書きします）\n"
        "  --csv        データ番号、AD変換値、電圧値[uV] の CSV ファイル\n"
        "  --png        グラフの画像\n"
        "  --volt       統計とグラフを電圧値で表示します\n"
        "  --json       結果を JSON で表示します\n"
        "  --analyze    measure: 測定したデータのノイズも解析します\n"
        "  --channel    analyze: 解析するチャンネル（既定: データのあるすべて）\n"
        "  --histogram, --spectrum, --allan\n"
        "               解析のグラフの画像（800 x 500、--channel のチャンネルか最初のチャンネル）\n"
        "  Ctrl-C で測定を中止します（10 データ以上あれば結果を残します）\n");
}
