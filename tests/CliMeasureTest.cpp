// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-cli info and measure, run as a process against the simulated board in process
// ("sim") and against selkoran-boardsim on a pseudo-terminal.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/Codes.h"
#include "tests/CliTestSupport.h"

namespace {

const QString kNotFound = QStringLiteral("SELKORAN が見つかりませんでした");
const QString kNoResponse = QStringLiteral("SELKORAN が応答しませんでした");
const QString kBoardError = QStringLiteral("SELKORAN Board がエラーです");
const QString kMeasureError = QStringLiteral("計測エラーで終了");
const QString kStopped = QStringLiteral("計測中止しました");

// Column `column` of the data lines as codes.
std::vector<std::int64_t> Codes(const QStringList& dataLines, int column) {
    std::vector<std::int64_t> codes;
    for (const QString& line : dataLines) {
        codes.push_back(line.split(',').value(column).toLongLong());
    }
    return codes;
}

// The number after `key` in a statistics line.
QString Field(const QString& line, const QString& key) {
    const auto match = QRegularExpression(key + "([-0-9.]+)").match(line);
    return match.hasMatch() ? match.captured(1) : QString();
}

class CliMeasure : public CliFixture {};

TEST_F(CliMeasure, SavesTheRunAndPrintsTheStatisticsThatShowReadsBack) {
    struct Row {
        QString channel;
        const char* rate;  // samples per second
        int spsSel;
        int count;
        int countIndex;
        bool fVolt;
    };
    const Row rows[] = {{"0", "31250", 16, 1000, 3, false},
                        {"1", "15625", 15, 200, 1, true},
                        {"both", "10417", 14, 500, 2, false},
                        {"2", "5208", 13, 100, 0, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "channel " << row.channel.toStdString() << " rate " << row.rate);
        const int chSel = row.channel == "0" ? 0 : row.channel == "1" ? 1 : 2;
        QFile::remove(Path("run.DTA"));
        QStringList arguments = {"measure", "--device", "sim", "--output", "run.DTA"};
        arguments << "--channel" << row.channel << "--rate" << row.rate << "--count"
                  << QString::number(row.count);
        if (row.fVolt) {
            arguments << "--volt";
        }
        const CliResult measured = Run(arguments);
        ASSERT_EQ(measured.exitCode, 0) << measured.err.toStdString();
        EXPECT_TRUE(measured.err.isEmpty()) << "no bar when standard error is no terminal";

        const QStringList settings = {QString("spsSel:%1").arg(row.spsSel),
                                      QString("DataCountSel:%1").arg(row.countIndex),
                                      QString("CHSel:%1").arg(chSel),
                                      "GainSel:0",
                                      "fSinc5:1",
                                      "fBUF_ON:0"};
        const QStringList file = FileLines(Path("run.DTA"));
        const QStringList head =
            QStringList{"AD7172_DataFile:", "M:"} + settings + QStringList{"MEND:"};
        EXPECT_EQ(file.mid(0, 9), head);
        const QStringList data = DataLines(Path("run.DTA"));
        ASSERT_EQ(data.size(), row.count);
        const int columns = chSel == 2 ? 2 : 1;
        EXPECT_EQ(data.first().split(',').size(), columns);

        // One line per channel with data, its extremes those of the file.
        const QStringList lines = measured.OutLines();
        ASSERT_EQ(lines.size(), columns);
        for (int i = 0; i < columns; ++i) {
            const int channel = chSel == 2 ? i : chSel;
            EXPECT_TRUE(lines[i].startsWith(QString("CH%1 : 最大値：").arg(channel)));
            EXPECT_EQ(lines[i].endsWith("[uV]"), row.fVolt);
            if (!row.fVolt) {
                const auto codes = Codes(data, i);
                EXPECT_EQ(Field(lines[i], "最大値：").toLongLong(),
                          *std::max_element(codes.begin(), codes.end()));
                EXPECT_EQ(Field(lines[i], "最小値：").toLongLong(),
                          *std::min_element(codes.begin(), codes.end()));
            }
        }

        QStringList showArguments = {"show", "run.DTA"};
        if (row.fVolt) {
            showArguments << "--volt";
        }
        const CliResult shown = Run(showArguments);
        EXPECT_EQ(shown.exitCode, 0);
        EXPECT_EQ(shown.OutLines(), settings + lines);
    }
}

TEST_F(CliMeasure, JsonHoldsTheBoardTheSettingsAndEachChannelsNumbers) {
    const CliResult result =
        Run({"measure", "--device", "sim", "--channel", "2", "--rate", "31250", "--count", "200",
             "--filter", "sinc3", "--json", "--output", "j.DTA"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonDocument document = QJsonDocument::fromJson(result.out.toUtf8());
    ASSERT_TRUE(document.isObject()) << result.out.toStdString();
    const QJsonObject root = document.object();

    EXPECT_EQ(root["board"].toObject()["name"].toString(), "SELKORAN");
    EXPECT_EQ(root["board"].toObject()["version"].toString(), "1.10");
    const QJsonObject settings = root["settings"].toObject();
    EXPECT_EQ(settings["spsSel"], QJsonValue(16));
    EXPECT_EQ(settings["DataCountSel"], QJsonValue(1));
    EXPECT_EQ(settings["CHSel"], QJsonValue(2));
    EXPECT_EQ(settings["GainSel"], QJsonValue(0));
    EXPECT_EQ(settings["fSinc5"], QJsonValue(false));
    EXPECT_EQ(settings["fBUF_ON"], QJsonValue(false));

    // The simulated board's inputs: 4 uV on CH0, 1.25 V on CH1, a few uV of noise.
    const double inputs[] = {4.0, 1250000.0};
    const QStringList data = DataLines(Path("j.DTA"));
    const QJsonArray channels = root["channels"].toArray();
    ASSERT_EQ(channels.size(), 2);
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        const QJsonObject channel = channels[c].toObject();
        const auto codes = Codes(data, c);
        double sum = 0.0;
        for (const auto code : codes) {
            sum += static_cast<double>(code);
        }
        const auto mean = static_cast<std::int64_t>(sum / 200.0);
        // The deviation is taken around the exact mean, not the truncated one shown.
        double squares = 0.0;
        for (const auto code : codes) {
            squares += std::pow(static_cast<double>(code) - sum / 200.0, 2.0);
        }
        const auto maxCode = *std::max_element(codes.begin(), codes.end());
        EXPECT_EQ(channel["channel"], QJsonValue(c));
        EXPECT_EQ(channel["count"], QJsonValue(200));
        EXPECT_EQ(channel["maxCode"].toInteger(), maxCode);
        EXPECT_EQ(channel["minCode"].toInteger(), *std::min_element(codes.begin(), codes.end()));
        EXPECT_EQ(channel["meanCode"].toInteger(), mean);
        EXPECT_NEAR(channel["codeStdDev"].toDouble(), std::sqrt(squares / 200.0), 1e-9);
        // The JSON number is the code rule's double itself.
        EXPECT_EQ(channel["maxMicrovolts"].toDouble(),
                  CodeToMicrovolts(static_cast<std::int32_t>(maxCode), 1));
        EXPECT_NEAR(channel["meanMicrovolts"].toDouble(), inputs[c], 5.0);
        EXPECT_GT(channel["microvoltStdDev"].toDouble(), 0.0);
        EXPECT_TRUE(channel["minMicrovolts"].isDouble());
        EXPECT_TRUE(channel["statistics"].toString().startsWith(
            QString("CH%1 : 最大値：%2 / ").arg(c).arg(maxCode)));
    }
}

TEST_F(CliMeasure, EachFailurePrintsTheWindowsTextAndWritesNothing) {
    struct Row {
        const char* command;
        const char* device;
        QString text;
    };
    const Row rows[] = {
        {"info", "sim:silent", kNoResponse},        {"info", "sim:name=OTHER", kNotFound},
        {"measure", "sim:silent", kNoResponse},     {"measure", "sim:name=OTHER", kNotFound},
        {"measure", "sim:ng=V?", kNoResponse},      {"measure", "sim:ng=S5", kBoardError},
        {"measure", "sim:ng=FX", kBoardError},      {"measure", "sim:lf=50", kMeasureError},
        {"measure", "sim:short=150", kMeasureError}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.command) + " " + row.device);
        QStringList arguments = {row.command, "--device", row.device};
        if (QString(row.command) == "measure") {
            arguments << QStringList{"--rate", "31250", "--count", "500",   "--output",
                                     "f.DTA",  "--csv", "f.csv",   "--png", "f.png"};
        }
        const CliResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.err.split('\n').contains(row.text)) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty());
        EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::Files));
    }
}

TEST_F(CliMeasure, BadArgumentsGiveTheUsageAndExitCode2) {
    const QStringList rows[] = {{},
                                {"calibrate"},
                                {"measure", "--rate", "17"},
                                {"measure", "--rate", "3x"},
                                {"measure", "--count", "300"},
                                {"measure", "--channel", "3"},
                                {"measure", "--filter", "sinc4"},
                                {"measure", "--output"},
                                {"measure", "--volt=1"},
                                {"measure", "extra"},
                                {"measure", "--device", "serial:/dev/null"},
                                {"info", "--rate", "3"},
                                {"show"},
                                {"show", "a.DTA", "b.DTA"},
                                {"show", "a.DTA", "--output", "b.DTA"}};
    for (const QStringList& arguments : rows) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CliResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.out.isEmpty());
        EXPECT_FALSE(result.err.isEmpty());
    }
    const CliResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("使い方：\n"));
    const CliResult version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "selkoran-cli " SELKORAN_VERSION "\n");
}

TEST_F(CliMeasure, AnExistingDataFileIsReplacedOnlyWithForce) {
    WriteText(Path("old.DTA"), "earlier data\n");
    const QStringList arguments = {"measure", "--device", "sim",      "--rate", "31250",
                                   "--count", "100",      "--output", "old.DTA"};
    const CliResult refused = Run(arguments);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("ファイル：old.DTAがあります。")) << refused.err.toStdString();
    EXPECT_EQ(FileLines(Path("old.DTA")), QStringList{"earlier data"});

    const CliResult forced = Run(arguments + QStringList{"--force"});
    EXPECT_EQ(forced.exitCode, 0);
    EXPECT_EQ(FileLines(Path("old.DTA")).value(0), "AD7172_DataFile:");
    EXPECT_EQ(DataLines(Path("old.DTA")).size(), 100);
}

TEST_F(CliMeasure, WorksWithTheBoardSimulatorOnAPseudoTerminal) {
    QProcess board;
    board.start(BuildPath("selkoran-boardsim"), {});
    ASSERT_TRUE(board.waitForStarted());
    ASSERT_TRUE(board.waitForReadyRead(5000));
    const QString device = "tty:" + QString::fromUtf8(board.readLine()).trimmed();

    const CliResult info = Run({"info", "--device", device});
    EXPECT_EQ(info.exitCode, 0) << info.err.toStdString();
    EXPECT_EQ(info.out, "SELKORAN / 1.10\n");

    const CliResult result = Run({"measure", "--device", device, "--channel", "2", "--rate", "2597",
                                  "--count", "500", "--output", "pty.DTA", "--json"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonArray channels =
        QJsonDocument::fromJson(result.out.toUtf8()).object()["channels"].toArray();
    ASSERT_EQ(channels.size(), 2);
    EXPECT_EQ(channels[1].toObject()["count"], QJsonValue(500));
    const QStringList data = DataLines(Path("pty.DTA"));
    ASSERT_EQ(data.size(), 500);
    EXPECT_EQ(data.last().split(',').size(), 2);

    board.terminate();
    EXPECT_TRUE(board.waitForFinished(5000));
}

TEST_F(CliMeasure, CtrlCStopsTheRunAsTheStopButtonDoes) {
    // At 100 samples a second; the boards that stop sending after 10 or 9 records put the
    // interruption exactly on the limit of the samples kept.
    struct Row {
        const char* device;
        int waitMs;
        int kept;  // samples in the file; 0: some, fewer than asked; -1: no file
    };
    const Row rows[] = {{"sim", 800, 0},
                        {"sim:stopafter=10", 500, 10},
                        {"sim:stopafter=9", 500, -1},
                        {"sim:stopafter=0", 500, -1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.device);
        QFile::remove(Path("stop.DTA"));
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(BuildPath("selkoran-cli"), {"measure", "--device", row.device, "--rate",
                                                  "100.2", "--output", "stop.DTA"});
        ASSERT_TRUE(process.waitForStarted());
        QThread::msleep(static_cast<unsigned long>(row.waitMs));
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        const QStringList err =
            QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(err.size(), 2) << err.join('|').toStdString();
        EXPECT_EQ(err[0], kStopped);
        const QStringList out =
            QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        if (row.kept < 0) {
            EXPECT_EQ(process.exitCode(), 1);
            EXPECT_TRUE(err[1].startsWith("データが 10 個未満のため保存していません"));
            EXPECT_FALSE(QFile::exists(Path("stop.DTA")));
            EXPECT_TRUE(out.isEmpty());
            continue;
        }
        EXPECT_EQ(process.exitCode(), 0);
        const qsizetype kept = DataLines(Path("stop.DTA")).size();
        EXPECT_EQ(err[1], QString("%1 データを保存しました：stop.DTA").arg(kept));
        if (row.kept > 0) {
            EXPECT_EQ(kept, row.kept);
        } else {
            EXPECT_GE(kept, 10);
            EXPECT_LT(kept, 1000);
        }
        ASSERT_EQ(out.size(), 1);
        EXPECT_TRUE(out[0].startsWith("CH0 : 最大値："));
    }
}

// The command lines a selkoran-boardsim with --trace has received so far ("< " and the command).
QStringList TracedCommands(QProcess& board) {
    QStringList commands;
    for (const QString& line : QString::fromUtf8(board.readAllStandardOutput()).split('\n')) {
        if (line.startsWith("< ")) {
            commands << line.mid(2);
        }
    }
    return commands;
}

// A run at 1.25 samples per second would take over two hours: a bad output ends it at once,
// before the board hears a single command, and leaves what stands under the names as it was.
TEST_F(CliMeasure, EveryOutputIsCheckedBeforeTheBoardIsContacted) {
    QProcess board;
    board.start(BuildPath("selkoran-boardsim"), {"--trace"});
    ASSERT_TRUE(board.waitForStarted());
    ASSERT_TRUE(board.waitForReadyRead(5000));
    const QString device = "tty:" + QString::fromUtf8(board.readLine()).trimmed();
    WriteText(Path("old.csv"), "earlier\n");
    WriteText(Path("ro.png"), "kept\n");
    ASSERT_TRUE(QFile::setPermissions(Path("ro.png"), QFileDevice::ReadOwner));
    ASSERT_TRUE(QFile::link("b.png", Path("a.png")));
    ASSERT_TRUE(QFile::link("a.png", Path("b.png")));
    struct Row {
        QStringList outputs;
        QString error;
    };
    const Row rows[] = {
        {{"--output", "nosuchdir/x.DTA"},
         "保存できません：nosuchdir/x.DTA（ファイルまたはフォルダがありません）"},
        {{"--csv", "old.csv"},
         "ファイル：old.csvがあります。上書きするには --force を付けてください"},
        {{"--png", "ro.png", "--force"}, "保存できません：ro.png（アクセスが許可されていません）"},
        {{"--spectrum", "a.png", "--force"},
         "保存できません：a.png（シンボリックリンクが循環しています）"},
        {{"--csv", "run.csv", "--histogram", "./run.csv"},
         "同じファイルが二度指定されています：./run.csv"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.outputs.join(' ').toStdString());
        const CliResult result =
            Run(QStringList{"measure", "--device", device, "--rate", "1.25", "--count", "10000"} +
                row.outputs);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err.split('\n', Qt::SkipEmptyParts), QStringList{row.error});
        EXPECT_TRUE(result.out.isEmpty());
    }
    EXPECT_EQ(FileLines(Path("old.csv")), QStringList{"earlier"});
    EXPECT_EQ(FileLines(Path("ro.png")), QStringList{"kept"});
    EXPECT_EQ(QFileInfo(Path("a.png")).symLinkTarget(), Path("b.png"));
    EXPECT_EQ(QFileInfo(Path("b.png")).symLinkTarget(), Path("a.png"));
    EXPECT_FALSE(QFile::exists(Path("run.csv")));

    // The trace shows the identification of the next program to ask, and nothing before it.
    EXPECT_EQ(Run({"info", "--device", device}).exitCode, 0);
    QStringList commands;
    for (int i = 0; i < 50 && commands.size() < 3; ++i) {
        board.waitForReadyRead(100);
        commands += TracedCommands(board);
    }
    EXPECT_EQ(commands, (QStringList{"?", "U?", "V?"}));
    board.terminate();
    EXPECT_TRUE(board.waitForFinished(5000));
}

// A file size limit makes the writes fail at the end as a full disk would: the figures are
// printed all the same, each failure names its file and why, the picture that fits is
// written, and nothing half-written is left.
TEST_F(CliMeasure, AFailedWriteAtTheEndStillGivesTheFiguresAndNamesTheFile) {
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setChildProcessModifier([] {
        const rlimit limit{16384, 16384};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.start(BuildPath("selkoran-cli"),
                  {"measure", "--device", "sim", "--rate", "31250", "--count", "10000", "--channel",
                   "2", "--output", "run.DTA", "--csv", "run.csv", "--png", "run.png"});
    ASSERT_TRUE(process.waitForFinished(15000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    const QStringList out =
        QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 2);
    EXPECT_TRUE(out[1].startsWith("CH1 : 最大値："));
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts),
              (QStringList{"データ保存できませんでした：run.DTA（ファイルが大きすぎます）",
                           "データ保存できませんでした：run.csv（ファイルが大きすぎます）"}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"run.png"});
}

// The operator's rates in samples per second, for either filter named before or after.
TEST_F(CliMeasure, RateIsInSamplesPerSecondOfTheChosenFilter) {
    struct Row {
        QStringList arguments;
        QString spsSel;  // the header line of the recording; empty: refused
    };
    const Row rows[] = {{{"--rate", "2.5"}, "# spsSel:1"},
                        {{"--rate", "100.2", "--channel", "both"}, "# spsSel:8"},
                        {{"--rate", "50", "--filter", "sinc3"}, "# spsSel:6"},
                        {{"--filter", "sinc3", "--rate", "16.63"}, "# spsSel:4"},
                        {{"--rate", "16"}, ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        QFile::remove(Path("r.csv"));
        const CliResult result =
            Run(QStringList{"record", "--device", "sim", "--count", "1", "--output", "r.csv"} +
                row.arguments);
        if (row.spsSel.isEmpty()) {
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_TRUE(result.err.startsWith("--rate " + row.arguments[1] +
                                              " は sinc5 フィルタのレートではありません。"
                                              "使えるレート（sps）：1.25、2.5、5、10、16.63、"))
                << result.err.toStdString();
            continue;
        }
        ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_TRUE(FileLines(Path("r.csv")).contains(row.spsSel));
    }
    const QStringList help = Run({"--help"}).OutLines();
    EXPECT_TRUE(std::any_of(help.begin(), help.end(), [](const QString& line) {
        return line.contains(QRegularExpression("2597 +2604"));
    })) << "the table of both filters' rates";
}

}  // namespace
