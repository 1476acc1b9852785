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

#include "analysis/NoiseAnalysis.h"
#include "boardsim/BoardOptions.h"
#include "boardsim/SampleSource.h"
#include "tests/CliTestSupport.h"

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

// What an early end says the file keeps.
QString KeptText(const QString& file, std::size_t samples) {
    return samples == 0
               ? QStringLiteral("ファイル：%1にデータはありません").arg(file)
               : QStringLiteral("ファイル：%1にデータ %2 個を保存しました").arg(file).arg(samples);
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
        EXPECT_TRUE(result.err.endsWith("詳しくは selkoran-cli record --help を見てください\n"));
        EXPECT_FALSE(QFile::exists(Path("a.csv")));
    }
    const CliResult one = Run({"record", "--device", "sim", "--count", "1", "--output", "a.csv"});
    EXPECT_EQ(one.exitCode, 0) << one.err.toStdString();
    EXPECT_EQ(ReadRecording(Path("a.csv")).rows.size(), 1u);
}

TEST_F(CliRecord, AnExistingFileIsRefusedBeforeTheBoardIsContacted) {
    WriteText(Path("rec.csv"), QByteArray("earlier\n").repeated(100000));
    // A silent board would answer nothing: the refusal comes before any question to it.
    const CliResult refused = Run(TopRate("--device=sim:silent", 0, 100));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.startsWith("ファイル：rec.csvがあります。"))
        << refused.err.toStdString();
    EXPECT_EQ(QFileInfo(Path("rec.csv")).size(), 800000);

    // The longer file replaced leaves nothing of itself after the new rows.
    const CliResult forced = Run(TopRate("--device=sim", 0, 100) << "--force");
    EXPECT_EQ(forced.exitCode, 0);
    EXPECT_EQ(ReadRecording(Path("rec.csv")).rows.size(), 100u);
    EXPECT_TRUE(FileLines(Path("rec.csv")).last().endsWith(" samples:100 outcome:complete"));
}

// A stop keeps every sample with a complete last line and says what the file holds; a stop
// before the board sent anything (a silent board, no time-out) keeps none and fails.
TEST_F(CliRecord, CtrlCAndTerminationKeepEverySampleWithACompleteLastLine) {
    struct Row {
        const char* device;
        int signal;
        qint64 waitBytes;  // the file's size to wait for: well into the recording, or its header
        std::size_t leastRows;
        int exitCode;
    };
    const Row rows[] = {{"--device=sim", SIGINT, 200000, 4000, 0},
                        {"--device=sim", SIGTERM, 200000, 4000, 0},
                        {"--device=sim:stopafter=0", SIGINT, 1, 0, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.device + std::to_string(row.signal));
        QFile::remove(Path("rec.csv"));
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(BuildPath("selkoran-cli"), TopRate(row.device, 2, 1048575));
        ASSERT_TRUE(process.waitForStarted());
        while (QFileInfo(Path("rec.csv")).size() < row.waitBytes &&
               process.state() == QProcess::Running) {
            QThread::msleep(20);
        }
        ::kill(static_cast<pid_t>(process.processId()), row.signal);
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), row.exitCode);
        const Recording recording = ReadRecording(Path("rec.csv"));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_TRUE(err.contains("計測中止しました\n" + KeptText("rec.csv", recording.rows.size())))
            << err.toStdString();
        EXPECT_TRUE(recording.fComplete);
        EXPECT_GE(recording.rows.size(), row.leastRows);
        EXPECT_LT(recording.rows.size(), 1048575u);
        ExpectBoardSamples(recording, 2);
        EXPECT_TRUE(recording.comments.last().endsWith(
            QStringLiteral(" samples:%1 outcome:stopped").arg(recording.rows.size())));
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

// Mid-run, and at the last write of a short recording: a write failure, never complete, and a
// file of whole lines that says nothing false about how it ended.
TEST_F(CliRecord, AFullDiskStopsTheRecordingAndLeavesAReadableFile) {
    struct Row {
        int count;
        rlim_t fileLimit;
        std::size_t leastRows;
    };
    for (const auto& [count, fileLimit, leastRows] : {Row{100000, 300000, 5000}, Row{20, 700, 5}}) {
        SCOPED_TRACE(count);
        QFile::remove(Path("rec.csv"));
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.setChildProcessModifier([fileLimit] {
            const rlimit limit{fileLimit, fileLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        process.start(BuildPath("selkoran-cli"), TopRate("--device=sim", 2, count));
        ASSERT_TRUE(process.waitForFinished(15000));
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_LE(QFileInfo(Path("rec.csv")).size(), static_cast<qint64>(fileLimit));
        const Recording recording = ReadRecording(Path("rec.csv"));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_TRUE(err.contains("データ保存できませんでした：rec.csv（ファイルが大きすぎます）\n" +
                                 KeptText("rec.csv", recording.rows.size())))
            << err.toStdString();
        EXPECT_TRUE(recording.fComplete);
        EXPECT_FALSE(recording.comments.join('\n').contains("outcome:complete"));
        EXPECT_GE(recording.rows.size(), leastRows);
        ExpectBoardSamples(recording, 2);
        const CliResult analysed = Run({"analyze", "rec.csv", "--channel", "1"});
        EXPECT_TRUE(analysed.out.contains(
            QStringLiteral("CH1 : データ数：%1\n").arg(recording.rows.size())));
    }
}

// A reader of the recording that goes away ends it as a failed write, not by the signal.
TEST_F(CliRecord, AReaderThatGoesAwayEndsTheRecordingAsAFailedWrite) {
    QProcess reader;
    QProcess process;
    process.setStandardOutputProcess(&reader);
    reader.start("head", {"-c", "1000"});
    QStringList arguments = TopRate("--device=sim", 0, 1000000) << "--force";
    arguments.replace(arguments.indexOf("rec.csv"), "/dev/stdout");
    process.start(BuildPath("selkoran-cli"), arguments);
    ASSERT_TRUE(process.waitForFinished(15000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    reader.waitForFinished();
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
    const QJsonObject log = channel["spectrumLogFrequency"].toObject();
    const QJsonArray density = log["nanovoltsPerRootHz"].toArray();
    ASSERT_EQ(log["frequencyHz"].toArray().size(), density.size());
    ASSERT_EQ(static_cast<std::size_t>(density.size()),
              expected.logSpectrum.nanovoltsPerRootHz.size());
    ASSERT_FALSE(density.isEmpty());
    for (std::size_t i = 0; i < expected.logSpectrum.nanovoltsPerRootHz.size(); ++i) {
        EXPECT_DOUBLE_EQ(density[static_cast<qsizetype>(i)].toDouble(),
                         expected.logSpectrum.nanovoltsPerRootHz[i]);
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
