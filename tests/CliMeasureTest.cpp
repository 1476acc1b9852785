// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-cli info and measure, run as a process against the simulated board in process
// ("sim") and against selkoran-boardsim on a pseudo-terminal.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <vector>

#include "CliTestSupport.h"
#include "Codes.h"

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
        int channel;
        int rate;
        int count;
        int countIndex;
        bool fVolt;
    };
    const Row rows[] = {{0, 16, 1000, 3, false},
                        {1, 15, 200, 1, true},
                        {2, 14, 500, 2, false},
                        {2, 13, 100, 0, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "channel " << row.channel << " rate " << row.rate);
        QFile::remove(Path("run.DTA"));
        QStringList arguments = {"measure", "--device", "sim", "--output", "run.DTA"};
        arguments << "--channel" << QString::number(row.channel) << "--rate"
                  << QString::number(row.rate) << "--count" << QString::number(row.count);
        if (row.fVolt) {
            arguments << "--volt";
        }
        const CliResult measured = Run(arguments);
        ASSERT_EQ(measured.exitCode, 0) << measured.err.toStdString();
        EXPECT_TRUE(measured.err.isEmpty()) << "no bar when standard error is no terminal";

        const QStringList settings = {QString("spsSel:%1").arg(row.rate),
                                      QString("DataCountSel:%1").arg(row.countIndex),
                                      QString("CHSel:%1").arg(row.channel),
                                      "GainSel:0",
                                      "fSinc5:1",
                                      "fBUF_ON:0"};
        const QStringList file = FileLines(Path("run.DTA"));
        const QStringList head =
            QStringList{"AD7172_DataFile:", "M:"} + settings + QStringList{"MEND:"};
        EXPECT_EQ(file.mid(0, 9), head);
        const QStringList data = DataLines(Path("run.DTA"));
        ASSERT_EQ(data.size(), row.count);
        const int columns = row.channel == 2 ? 2 : 1;
        EXPECT_EQ(data.first().split(',').size(), columns);

        // One line per channel with data, its extremes those of the file.
        const QStringList lines = measured.OutLines();
        ASSERT_EQ(lines.size(), columns);
        for (int i = 0; i < columns; ++i) {
            const int channel = row.channel == 2 ? i : row.channel;
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
        Run({"measure", "--device", "sim", "--channel", "2", "--rate", "16", "--count", "200",
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
        double squares = 0.0;
        for (const auto code : codes) {
            squares += std::pow(static_cast<double>(code - mean), 2.0);
        }
        const auto maxCode = *std::max_element(codes.begin(), codes.end());
        EXPECT_EQ(channel["channel"], QJsonValue(c));
        EXPECT_EQ(channel["count"], QJsonValue(200));
        EXPECT_EQ(channel["maxCode"].toInteger(), maxCode);
        EXPECT_EQ(channel["minCode"].toInteger(), *std::min_element(codes.begin(), codes.end()));
        EXPECT_EQ(channel["meanCode"].toInteger(), mean);
        EXPECT_NEAR(channel["codeStdDev"].toDouble(), std::sqrt(squares / 200.0), 1e-4);
        // The JSON number is the shortest text of the stored float.
        EXPECT_EQ(static_cast<float>(channel["maxMicrovolts"].toDouble()),
                  static_cast<float>(CodeToMicrovolts(static_cast<std::int32_t>(maxCode), 1)));
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
            arguments << QStringList{"--rate", "16",    "--count", "500",   "--output",
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
    EXPECT_TRUE(help.out.startsWith("使い方:"));
    const CliResult version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "selkoran-cli " SELKORAN_VERSION "\n");
}

TEST_F(CliMeasure, AnExistingDataFileIsReplacedOnlyWithForce) {
    WriteText(Path("old.DTA"), "earlier data\n");
    const QStringList arguments = {"measure", "--device", "sim",      "--rate", "16",
                                   "--count", "100",      "--output", "old.DTA"};
    const CliResult refused = Run(arguments);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("ファイル：old.DTAがあります。")) << refused.err.toStdString();
    EXPECT_EQ(FileLines(Path("old.DTA")), QStringList{"earlier data"});

    const CliResult forced = Run(arguments + QStringList{"--force"});
    EXPECT_EQ(forced.exitCode, 0);
    EXPECT_EQ(FileLines(Path("old.DTA")).value(0), "AD7172_DataFile:");
    EXPECT_EQ(DataLines(Path("old.DTA")).size(), 100);

    const CliResult unwritable = Run({"measure", "--device", "sim", "--rate", "16", "--count",
                                      "100", "--output", "missing/run.DTA"});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_TRUE(unwritable.err.contains("データ保存できませんでした"));
    EXPECT_TRUE(unwritable.out.isEmpty());
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

    const CliResult result = Run({"measure", "--device", device, "--channel", "2", "--rate", "12",
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
    const Row rows[] = {
        {"sim", 800, 0}, {"sim:stopafter=10", 500, 10}, {"sim:stopafter=9", 500, -1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.device);
        QFile::remove(Path("stop.DTA"));
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(BuildPath("selkoran-cli"),
                      {"measure", "--device", row.device, "--rate", "8", "--output", "stop.DTA"});
        ASSERT_TRUE(process.waitForStarted());
        QThread::msleep(static_cast<unsigned long>(row.waitMs));
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains(kStopped));
        const QStringList out =
            QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        if (row.kept < 0) {
            EXPECT_EQ(process.exitCode(), 1);
            EXPECT_FALSE(QFile::exists(Path("stop.DTA")));
            EXPECT_TRUE(out.isEmpty());
            continue;
        }
        EXPECT_EQ(process.exitCode(), 0);
        const qsizetype kept = DataLines(Path("stop.DTA")).size();
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

}  // namespace
