// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-cli record as scripts meet it: a separate process on the simulated board in process
// and on selkoran-boardsim, its file read back as a plain text file and by analyze.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <array>
#include <vector>

#include "BoardOptions.h"
#include "CliTestSupport.h"
#include "NoiseAnalysis.h"
#include "SampleSource.h"

namespace {

constexpr int kTopRate = 16;

// A recording file as a reader sees it: its rows (sample number, then per channel the code),
// its comment lines, and whether it ends on a line end.
struct Recording {
    std::vector<std::vector<qint64>> rows;
    QStringList comments;
    bool fComplete = false;
};

Recording ReadRecording(const QString& path) {
    QFile file(path);
    Recording recording;
    if (!file.open(QIODevice::ReadOnly)) {
        return recording;
    }
    const QByteArray bytes = file.readAll();
    recording.fComplete = bytes.endsWith('\n');
    for (const QByteArray& line : bytes.split('\n')) {
        if (line.startsWith('#')) {
            recording.comments << QString::fromUtf8(line);
        } else if (!line.isEmpty() && !line.startsWith("sample,")) {
            const QList<QByteArray> fields = line.split(',');
            std::vector<qint64> row{fields[0].toLongLong()};
            for (qsizetype i = 1; i < fields.size(); i += 2) {
                row.push_back(fields[i].toLongLong());
            }
            recording.rows.push_back(row);
        }
    }
    return recording;
}

// Rows numbered from 1 without a gap, with the simulated board's codes (seed 1) on the
// channels of `chSel`.
void ExpectBoardSamples(const Recording& recording, int chSel) {
    const BoardOptions board;
    SampleSource source(board.seed, board.ch0Microvolts, board.ch1Microvolts);
    for (std::size_t i = 0; i < recording.rows.size(); ++i) {
        const std::array<std::int32_t, 2> codes = source.NextCodes(kTopRate, true);
        std::vector<qint64> expected{static_cast<qint64>(i) + 1};
        if (chSel != 1) {
            expected.push_back(codes[0]);
        }
        if (chSel != 0) {
            expected.push_back(codes[1]);
        }
        ASSERT_EQ(recording.rows[i], expected) << "row " << i;
    }
}

class CliRecord : public CliFixture {
protected:
    // A top-rate recording of `count` samples into rec.csv.
    QStringList TopRate(const QString& device, int chSel, int count) const {
        return {"record",    device,
                "--rate",    "31250",
                "--channel", QString::number(chSel),
                "--count",   QString::number(count),
                "--output",  "rec.csv"};
    }
};

TEST_F(CliRecord, CountsBeyondOneStartCommandAndMissingChoicesAreUsageErrors) {
    const QStringList rows[] = {{"--count", "1048576", "--output", "a.csv"},
                                {"--count", "0", "--output", "a.csv"},
                                {"--duration", "1h30x", "--output", "a.csv"},
                                {"--count", "10", "--duration", "1m", "--output", "a.csv"},
                                {"--output", "a.csv"},
                                {"--count", "10"}};
    for (const QStringList& options : rows) {
        SCOPED_TRACE(options.join(' ').toStdString());
        const CliResult result = Run(QStringList{"record", "--device", "sim"} + options);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.err.contains("使い方:"));
        EXPECT_FALSE(QFile::exists(Path("a.csv")));
    }
    const CliResult one = Run({"record", "--device", "sim", "--count", "1", "--output", "a.csv"});
    EXPECT_EQ(one.exitCode, 0) << one.err.toStdString();
    EXPECT_EQ(ReadRecording(Path("a.csv")).rows.size(), 1u);
}

TEST_F(CliRecord, AnExistingFileIsRefusedBeforeTheBoardIsContacted) {
    WriteText(Path("rec.csv"), "earlier\n");
    // A silent board would answer nothing: the refusal comes before any question to it.
    const CliResult refused = Run(TopRate("--device=sim:silent", 0, 100));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.startsWith("ファイル：rec.csvがあります。"))
        << refused.err.toStdString();
    EXPECT_EQ(FileLines(Path("rec.csv")), QStringList{"earlier"});

    const CliResult forced = Run(TopRate("--device=sim", 0, 100) << "--force");
    EXPECT_EQ(forced.exitCode, 0);
    EXPECT_EQ(ReadRecording(Path("rec.csv")).rows.size(), 100u);
}

TEST_F(CliRecord, CtrlCAndTerminationKeepEverySampleWithACompleteLastLine) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        QFile::remove(Path("rec.csv"));
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(BuildPath("selkoran-cli"), TopRate("--device=sim", 2, 1048575));
        ASSERT_TRUE(process.waitForStarted());
        // Well into the recording, with several flushes behind it.
        while (QFileInfo(Path("rec.csv")).size() < 200000 && process.state() == QProcess::Running) {
            QThread::msleep(20);
        }
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains("計測中止しました"));
        const Recording recording = ReadRecording(Path("rec.csv"));
        EXPECT_TRUE(recording.fComplete);
        EXPECT_GT(recording.rows.size(), 4000u);
        EXPECT_LT(recording.rows.size(), 1048575u);
        ExpectBoardSamples(recording, 2);
    }
}

TEST_F(CliRecord, SilenceAndABadRecordEndTheRecordingWithTheFileCompleteUpToThere) {
    struct Row {
        QString device;
        QStringList extra;
        QString text;
        std::size_t rows;
    };
    const Row rows[] = {
        {"--device=sim:stopafter=300", {"--timeout", "0.5"}, "SELKORAN が応答しませんでした", 300},
        // Record 350 is the 51st of its block: the 50 before it are good and kept.
        {"--device=sim:short=350", {}, "計測エラーで終了", 350}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.device.toStdString());
        QFile::remove(Path("rec.csv"));
        const CliResult result = Run(TopRate(row.device, 0, 10000) + row.extra);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.err.contains(row.text)) << result.err.toStdString();
        const Recording recording = ReadRecording(Path("rec.csv"));
        EXPECT_TRUE(recording.fComplete);
        EXPECT_EQ(recording.rows.size(), row.rows);
        ExpectBoardSamples(recording, 0);
    }
}

TEST_F(CliRecord, AFullDiskStopsTheRecordingAndLeavesAReadableFile) {
    constexpr rlim_t kFileLimit = 300000;
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setChildProcessModifier([] {
        const rlimit limit{kFileLimit, kFileLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.start(BuildPath("selkoran-cli"), TopRate("--device=sim", 2, 100000));
    ASSERT_TRUE(process.waitForFinished(15000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(
        QString::fromUtf8(process.readAllStandardError()).contains("データ保存できませんでした"));

    EXPECT_LE(QFileInfo(Path("rec.csv")).size(), static_cast<qint64>(kFileLimit));
    const Recording recording = ReadRecording(Path("rec.csv"));
    EXPECT_TRUE(recording.fComplete);
    EXPECT_GT(recording.rows.size(), 5000u);
    ExpectBoardSamples(recording, 2);
    const CliResult analysed = Run({"analyze", "rec.csv", "--channel", "1"});
    EXPECT_EQ(analysed.exitCode, 0) << analysed.err.toStdString();
    EXPECT_TRUE(
        analysed.out.contains(QStringLiteral("CH1 : データ数：%1\n").arg(recording.rows.size())));
}

// The figures a recording's file gives, against the analysis of the same codes held whole.
void ExpectFiguresOf(const QJsonObject& channel, const NoiseAnalysis& expected) {
    EXPECT_EQ(channel["count"].toInteger(), expected.statistics.count);
    EXPECT_DOUBLE_EQ(channel["rmsMicrovolts"].toDouble(), expected.statistics.rmsMicrovolts);
    EXPECT_DOUBLE_EQ(channel["driftMicrovoltsPerSecond"].toDouble(),
                     expected.statistics.driftMicrovoltsPerSecond);
    EXPECT_EQ(channel["missingCodes"].toInteger(), expected.histogram.missingCodes);
    const QJsonArray counts = channel["histogram"].toObject()["counts"].toArray();
    ASSERT_EQ(static_cast<std::size_t>(counts.size()), expected.histogram.counts.size());
    for (std::size_t i = 0; i < expected.histogram.counts.size(); ++i) {
        EXPECT_EQ(counts[static_cast<qsizetype>(i)].toInteger(), expected.histogram.counts[i]);
    }
    EXPECT_DOUBLE_EQ(channel["whiteNoiseNanovoltsPerRootHz"].toDouble(),
                     *expected.spectrum.whiteNoiseNanovoltsPerRootHz);
    const QJsonArray allan = channel["allan"].toObject()["deviationMicrovolts"].toArray();
    ASSERT_EQ(static_cast<std::size_t>(allan.size()), expected.allan.deviationMicrovolts.size());
    for (std::size_t i = 0; i < expected.allan.deviationMicrovolts.size(); ++i) {
        EXPECT_DOUBLE_EQ(allan[static_cast<qsizetype>(i)].toDouble(),
                         expected.allan.deviationMicrovolts[i]);
    }
}

TEST_F(CliRecord, ARecordingFromTheBoardSimulatorReadsBackInAnalyze) {
    QProcess board;
    board.start(BuildPath("selkoran-boardsim"), {});
    ASSERT_TRUE(board.waitForStarted());
    ASSERT_TRUE(board.waitForReadyRead(5000));
    const QString device = "--device=tty:" + QString::fromUtf8(board.readLine()).trimmed();
    constexpr int kCount = 20000;
    const CliResult recorded = Run(TopRate(device, 2, kCount) << "--json");
    board.terminate();
    board.waitForFinished(5000);
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err.toStdString();
    const Recording recording = ReadRecording(Path("rec.csv"));
    ASSERT_EQ(recording.rows.size(), static_cast<std::size_t>(kCount));
    ExpectBoardSamples(recording, 2);
    EXPECT_TRUE(recording.comments.contains("# board:SELKORAN / 1.10"));
    EXPECT_TRUE(recording.comments.contains("# sampleRate:31250"));

    MeasureSettings settings;
    settings.spsSel = kTopRate;
    const QJsonObject json = QJsonDocument::fromJson(recorded.out.toUtf8()).object();
    EXPECT_EQ(json["count"].toInteger(), kCount);
    const QJsonArray channels = json["channels"].toArray();
    ASSERT_EQ(channels.size(), 2);
    for (int channel = 0; channel < 2; ++channel) {
        std::vector<std::int32_t> codes;
        for (const std::vector<qint64>& row : recording.rows) {
            codes.push_back(static_cast<std::int32_t>(row[static_cast<std::size_t>(channel) + 1]));
        }
        ExpectFiguresOf(channels[channel].toObject(), *NoiseAnalysis::Compute(codes, settings));
    }
    const CliResult analysed = Run({"analyze", "rec.csv", "--json"});
    EXPECT_EQ(QJsonDocument::fromJson(analysed.out.toUtf8()).object()["channels"], channels);
}

}  // namespace
