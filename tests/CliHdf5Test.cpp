// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-cli record into HDF5 files as scripts meet it, read by h5py (a reader we did not
// write) while the file grows, after the recorder was killed, compressed and on a full disk,
// each against a CSV recording of the same simulated board and seed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QFileInfo>
#include <QThread>

#include "link/Ad7172.h"
#include "measure/Acquisition.h"
#include "record/Hdf5Handle.h"
#include "record/Recorder.h"
#include "tests/CliTestSupport.h"
#include "tests/fakes/TappedBoard.h"

namespace {

const QString kBoard = "--device=sim:seed=7";

QStringList TopRate(int count, const QString& output) {
    return {"record",    kBoard, "--rate",  "31250",
            "--channel", "2",    "--count", QString::number(count),
            "--output",  output};
}

struct H5py {
    int exitCode = -1;
    QStringList lines;
};

H5py RunH5py(const QStringList& arguments) {
    QProcess python;
    python.start("/usr/bin/python3",
                 QStringList{SELKORAN_SOURCE_DIR "/tests/h5py_check.py"} + arguments);
    H5py result;
    if (python.waitForFinished(60000)) {
        result.exitCode = python.exitCode();
    }
    result.lines = QString::fromUtf8(python.readAll()).split('\n', Qt::SkipEmptyParts);
    return result;
}

class CliHdf5 : public CliFixture {
protected:
    // 200000 samples of the same board as CSV, the reference every HDF5 file is held against,
    // recorded in process with the board's clock moved a block at a time.
    static void SetUpTestSuite() {
        csvDir = new QTemporaryDir;
        FakeClock clock;
        BoardOptions seven;
        seven.seed = 7;
        TappedBoard board(clock, seven);
        TADC adc(board, clock.Timing());
        Acquisition engine(adc, [&clock] { return clock.Now(); });
        Recorder recorder(engine, [&clock] { return clock.Now(); });
        recorder.Start({.run = {.settings = {.spsSel = 16, .CHSel = 2}, .count = 200000},
                        .file = {.path = csvDir->filePath("ref.csv").toStdString()}},
                       RecordingSink::Type::Csv);
        while (recorder.Recording()) {
            clock.Advance(std::chrono::microseconds(3200));
            recorder.Wake();
        }
    }
    static void TearDownTestSuite() { delete csvDir; }

    // The HDF5 file holds the first samples of the reference, with its settings.
    static void ExpectReferenceStart(const QString& path) {
        const H5py compared = RunH5py({"compare", path, csvDir->filePath("ref.csv"), "--prefix"});
        EXPECT_EQ(compared.exitCode, 0) << compared.lines.join('\n').toStdString();
    }

    static QTemporaryDir* csvDir;
};

QTemporaryDir* CliHdf5::csvDir = nullptr;

TEST_F(CliHdf5, H5pyReadsTheFileWhileItGrowsAndSeesEverySampleOnce) {
    QProcess recorder;
    recorder.setWorkingDirectory(dir.path());
    recorder.start(BuildPath("selkoran-cli"), TopRate(100000, "grow.h5"));
    const H5py watched = RunH5py({"watch", Path("grow.h5"), "100000", "30"});
    ASSERT_TRUE(recorder.waitForFinished(30000));
    EXPECT_EQ(recorder.exitCode(), 0);
    EXPECT_EQ(watched.exitCode, 0) << watched.lines.join('\n').toStdString();
    // 3.2 s of recording, flushed at least once a second: seen growing, not only at the end.
    EXPECT_GE(watched.lines.size(), 4) << watched.lines.join(' ').toStdString();
    ExpectReferenceStart(Path("grow.h5"));
    EXPECT_EQ(RunH5py({"describe", Path("grow.h5")}).lines.first(), "outcome:complete");
}

TEST_F(CliHdf5, AfterKillNineTheFileOpensWithTheSamplesOfItsLastFlush) {
    QProcess recorder;
    recorder.setWorkingDirectory(dir.path());
    recorder.start(BuildPath("selkoran-cli"), TopRate(1000000, "killed.h5"));
    ASSERT_TRUE(recorder.waitForStarted());
    // Past the first flush (a second of samples is 250 KB).
    while (QFileInfo(Path("killed.h5")).size() < 400000 && recorder.state() == QProcess::Running) {
        QThread::msleep(20);
    }
    ::kill(static_cast<pid_t>(recorder.processId()), SIGKILL);
    ASSERT_TRUE(recorder.waitForFinished(5000));
    ExpectReferenceStart(Path("killed.h5"));
    const H5py described = RunH5py({"describe", Path("killed.h5")});
    EXPECT_EQ(described.lines.value(0), "outcome:");  // it never ended
    const CliResult analysed = Run({"analyze", "killed.h5", "--channel", "0"});
    EXPECT_EQ(analysed.exitCode, 0) << analysed.err.toStdString();
    EXPECT_TRUE(analysed.out.contains("CH0 : データ数：" + described.lines.value(2).mid(8) + "\n"));
}

TEST_F(CliHdf5, ACompressedFileIsShuffledAndGzippedAndHoldsTheSameCodes) {
    const CliResult recorded = Run(TopRate(60000, "packed.h5") << "--compress");
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err.toStdString();
    EXPECT_EQ(RunH5py({"describe", Path("packed.h5")}).lines.value(1), "compression:gzip:4:True");
    ExpectReferenceStart(Path("packed.h5"));
}

TEST_F(CliHdf5, AFullDiskEndsAsWriteFailedAndTheFileStaysReadable) {
    QProcess recorder;
    recorder.setWorkingDirectory(dir.path());
    recorder.setChildProcessModifier([] {
        const rlimit limit{1500000, 1500000};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    recorder.start(BuildPath("selkoran-cli"), TopRate(200000, "full.h5"));
    ASSERT_TRUE(recorder.waitForFinished(15000));
    EXPECT_EQ(recorder.exitCode(), 1);
    EXPECT_TRUE(
        QString::fromUtf8(recorder.readAllStandardError()).contains("データ保存できませんでした"));
    EXPECT_EQ(RunH5py({"describe", Path("full.h5")}).lines.value(0), "outcome:write-failed");
    ExpectReferenceStart(Path("full.h5"));
    EXPECT_EQ(Run({"analyze", "full.h5"}).exitCode, 0);
}

TEST_F(CliHdf5, WrongChoicesAndForeignFilesGetTheirTexts) {
    {  // an HDF5 file of another program
        const Hdf5Handle file(H5Fcreate(Path("foreign.h5").toUtf8().constData(), H5F_ACC_TRUNC,
                                        H5P_DEFAULT, H5P_DEFAULT),
                              H5Fclose);
        ASSERT_TRUE(file.Valid());
    }
    WriteText(Path("exists.csv"), "earlier\n");
    struct Row {
        QStringList arguments;
        int exitCode;
        QString err;
    };
    const Row rows[] = {
        {TopRate(10, "a.csv") << "--compress", 2,
         "--compress は HDF5 のファイルを書くときだけ使えます"},
        {{"convert", "only.h5"}, 2, "convert には変換元と変換先のファイルを指定してください"},
        {{"analyze", "foreign.h5"},
         1,
         "データファイルの内容が正しくありませんでした：foreign.h5（SELKORAN "
         "の記録ではありません）"},
        {{"convert", "missing.h5", "out.csv"},
         1,
         "データファイルの内容が正しくありませんでした：missing."
         "h5（ファイルまたはフォルダがありません）"},
        {{"convert", "foreign.h5", "exists.csv"},
         1,
         "ファイル：exists.csvがあります。上書きするには --force を付けてください"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const CliResult result = Run(row.arguments);
        EXPECT_EQ(result.exitCode, row.exitCode);
        EXPECT_TRUE(result.err.startsWith(row.err + '\n')) << result.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(Path("out.csv")));
    EXPECT_EQ(FileLines(Path("exists.csv")), QStringList{"earlier"});
    // --format chooses the type whatever the name says.
    ASSERT_EQ(Run(TopRate(10, "named.csv") << "--format"
                                           << "h5")
                  .exitCode,
              0);
    EXPECT_EQ(RunH5py({"describe", Path("named.csv")}).lines.value(2), "samples:10");
}

}  // namespace
