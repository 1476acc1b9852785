// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-cli show, and the CSV and PNG exports, on data files of known content.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWidget>

#include "charts/PictureCaption.h"
#include "common/Codes.h"
#include "datafile/Myfile.h"
#include "graph/Graph_2ch.h"
#include "measure/ChannelStatistics.h"
#include "tests/CliTestSupport.h"
#include "tests/KnownTwoChannelFile.h"
#include "tests/fakes/FakePrompts.h"

namespace {

const QStringList kTwoChannelSettings = {"spsSel:13", "DataCountSel:0", "CHSel:2",
                                         "GainSel:0", "fSinc5:1",       "fBUF_ON:0"};

class CliShow : public CliFixture {
protected:
    void SetUp() override {
        CliFixture::SetUp();
        WriteText(Path("two.DTA"), kTwoChannels);
    }
};

TEST_F(CliShow, PrintsTheSettingsAndTheStatusBarsLineOfEachChannel) {
    const QByteArray ch1Only =
        "AD7172_DataFile:\nM:\nspsSel:2\nDataCountSel:6\nCHSel:1\n"
        "GainSel:0\nfSinc5:0\nfBUF_ON:1\nMEND:\nD:\n8388609\n8388610\nDEND:\n";
    WriteText(Path("one.DTA"), ch1Only);
    const QStringList oneSettings = {"spsSel:2",  "DataCountSel:6", "CHSel:1",
                                     "GainSel:0", "fSinc5:0",       "fBUF_ON:1"};
    struct Row {
        QStringList arguments;
        QStringList lines;
    };
    const Row rows[] = {
        {{"show", "two.DTA"}, kTwoChannelSettings + QStringList{kCh0Codes, kCh1Codes}},
        {{"show", "two.DTA", "--volt"}, kTwoChannelSettings + QStringList{kCh0Volts, kCh1Volts}},
        {{"show", "one.DTA"}, oneSettings + QStringList{kCh1Codes}},
        {{"show", "one.DTA", "--volt"}, oneSettings + QStringList{kCh1Volts}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const CliResult result = Run(row.arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_EQ(result.OutLines(), row.lines);
    }
}

TEST_F(CliShow, JsonHasNoBoardAndTheChannelsNumbers) {
    const CliResult result = Run({"show", "two.DTA", "--json", "--volt"});
    ASSERT_EQ(result.exitCode, 0);
    const QJsonObject root = QJsonDocument::fromJson(result.out.toUtf8()).object();
    EXPECT_FALSE(root.contains("board"));
    EXPECT_EQ(root["settings"].toObject()["spsSel"], QJsonValue(13));
    EXPECT_EQ(root["settings"].toObject()["fSinc5"], QJsonValue(true));
    const QJsonArray channels = root["channels"].toArray();
    ASSERT_EQ(channels.size(), 2);
    const QJsonObject ch0 = channels[0].toObject();
    const QJsonObject ch1 = channels[1].toObject();
    EXPECT_EQ(ch0["count"], QJsonValue(2));
    EXPECT_EQ(ch0["maxCode"], QJsonValue(8388618));
    EXPECT_EQ(ch0["minCode"], QJsonValue(8388608));
    EXPECT_EQ(ch0["meanCode"], QJsonValue(8388613));
    EXPECT_DOUBLE_EQ(ch0["codeStdDev"].toDouble(), 5.0);
    EXPECT_NEAR(ch0["maxMicrovolts"].toDouble(), 2.980232, 1e-6);
    EXPECT_EQ(ch0["minMicrovolts"], QJsonValue(0));
    EXPECT_NEAR(ch0["meanMicrovolts"].toDouble(), 1.490116, 1e-6);
    EXPECT_NEAR(ch0["microvoltStdDev"].toDouble(), 1.490116, 1e-6);
    EXPECT_EQ(ch0["statistics"].toString(), kCh0Volts);
    EXPECT_EQ(ch1["channel"], QJsonValue(1));
    EXPECT_EQ(ch1["meanCode"], QJsonValue(8388609));      // truncated
    EXPECT_DOUBLE_EQ(ch1["codeStdDev"].toDouble(), 0.5);  // around the exact mean 8388609.5
    EXPECT_EQ(ch1["statistics"].toString(), kCh1Volts);
}

// Each bad file is named with its own reason: what stands under the name, or what is wrong in
// it and on which line.
TEST_F(CliShow, BadFilesAreNamedWithTheReasonAndGetNoExport) {
    const QString unreadable = "データファイルを読めませんでした：";
    const QString bad = "データファイルの内容が正しくありませんでした：bad.DTA";
    const QByteArray head =
        "AD7172_DataFile:\nM:\nspsSel:3\nDataCountSel:0\nCHSel:0\nGainSel:0\nfSinc5:1\n"
        "fBUF_ON:0\nMEND:\nD:\n";
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.DTA"));
    struct Row {
        QString name;
        QByteArray text;  // written to bad.DTA
        QString error;
    };
    const Row rows[] = {
        {"missing.DTA", {}, unreadable + "missing.DTA（ファイルまたはフォルダがありません）"},
        {"folder.DTA", {}, unreadable + "folder.DTA（フォルダです）"},
        {"/dev/null", {}, unreadable + "/dev/null（通常のファイルではありません）"},
        {"bad.DTA", "", bad + "（空のファイルです）"},
        {"bad.DTA", "hello\n", bad + "（データファイルではありません）"},
        // Lines are the file's own: a comment of 300 bytes is read in two parts, and its
        // second part is no code, but it is one line.
        {"bad.DTA", head + "8388608\n;" + QByteArray(300, 'c') + "\nDEND:\n",
         bad + "（12 行目が正しくありません）"},
        {"bad.DTA", head + "8388608\n8388609\n", bad + "（12 行目で途切れています）"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error.toStdString());
        if (row.name == "bad.DTA") {
            WriteText(Path("bad.DTA"), row.text);
        }
        const CliResult result = Run({"show", row.name, "--csv", "out.csv", "--json"});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, row.error + '\n');
        EXPECT_TRUE(result.out.isEmpty());
        EXPECT_FALSE(QFile::exists(Path("out.csv")));
    }
    // A symbolic link to a data file is read as the file.
    ASSERT_TRUE(QFile::link(Path("two.DTA"), Path("link.DTA")));
    EXPECT_EQ(Run({"show", "link.DTA"}).exitCode, 0);
}

TEST_F(CliShow, FileWithoutSamplesHasNoChannel) {
    WriteText(Path("empty.DTA"),
              "AD7172_DataFile:\nM:\nspsSel:5\nDataCountSel:1\nCHSel:2\nGainSel:0\n"
              "fSinc5:0\nfBUF_ON:0\nMEND:\nD:\nDEND:\n");
    const CliResult lines = Run({"show", "empty.DTA"});
    EXPECT_EQ(lines.exitCode, 0);
    EXPECT_EQ(lines.OutLines().size(), 6);  // the settings alone
    const CliResult json = Run({"show", "empty.DTA", "--json"});
    EXPECT_EQ(QJsonDocument::fromJson(json.out.toUtf8())["channels"], QJsonValue(QJsonArray()));
}

// A German locale, which writes 0,5 for one half, compiled into a scratch folder when the
// machine has none installed.
bool CommaLocale(const QString& folder, QProcessEnvironment& environment) {
    QProcess compile;
    compile.start("localedef", {"-i", "de_DE", "-f", "UTF-8", folder + "/de_DE.UTF-8"});
    compile.waitForFinished(30000);
    environment.insert("LOCPATH", folder);
    environment.insert("LC_ALL", "de_DE.UTF-8");
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start("/usr/bin/printf", {"%.1f", "0.5"});
    probe.waitForFinished();
    return probe.readAllStandardOutput() == "0,5";
}

TEST_F(CliShow, CsvKeepsTheDecimalPointUnderACommaLocale) {
    QTemporaryDir locales;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // scripts/setup installs the locale sources (package locales) that localedef needs.
    ASSERT_TRUE(CommaLocale(locales.path(), environment))
        << "localedef could not make de_DE.UTF-8 with a comma decimal point";
    const CliResult result = Run({"show", "two.DTA", "--volt", "--csv", "two.csv"}, environment);
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.OutLines().mid(6), (QStringList{kCh0Volts, kCh1Volts}));

    const QStringList all = FileLines(Path("two.csv"));
    // After the header lines ("# sampleRate:5208", ...), the table.
    const QStringList lines = all.mid(5);
    EXPECT_EQ(all.mid(3, 1), QStringList{"# sampleRate:5208"});
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "sample,ch0_code,ch0_microvolts,ch1_code,ch1_microvolts");
    for (int i = 1; i < 3; ++i) {
        const QStringList fields = lines[i].split(',');
        ASSERT_EQ(fields.size(), 5) << lines[i].toStdString();
        EXPECT_EQ(fields[0].toInt(), i);
        for (int column = 1; column < 5; column += 2) {
            const auto code = fields[column].toInt();
            bool fNumber = false;
            const double microvolts = fields[column + 1].toDouble(&fNumber);
            EXPECT_TRUE(fNumber) << fields[column + 1].toStdString();
            // The shortest text of the code rule's double reads back as that double.
            EXPECT_EQ(microvolts, CodeToMicrovolts(code, 1));
        }
    }
}

// The graph as the window's graph object draws the same file on a paint box of design size.
QImage GraphBitmap(const QString& path, bool fVolt) {
    FakePrompts prompts;
    TmyFile file(prompts);
    MeasureSettings settings;
    ChannelBuffer ch0;
    ChannelBuffer ch1;
    if (!file.Load(path.toStdString(), settings, ch0.Series, ch1.Series)) {
        return {};
    }
    ChannelStatistics::ConvertToMicrovolts(ch0.Series, 0, ch0.Series.Count - 1, 1);
    ChannelStatistics::ConvertToMicrovolts(ch1.Series, 0, ch1.Series.Count - 1, 1);
    QWidget paintBox;
    paintBox.setGeometry(72, 24, 560, 369);
    TGraph_2CH graph(&paintBox, &ch0.Series, nullptr, nullptr, &settings, &ch1.Series);
    graph.DrawAll(fVolt);
    return graph.Bitmap().copy();
}

TEST_F(CliShow, PngIsTheGraphAreaOfTheWindowAtDesignSize) {
    // Enough samples for traces: a slow ramp on CH0, a constant on CH1.
    QByteArray text =
        "AD7172_DataFile:\nM:\nspsSel:3\nDataCountSel:0\nCHSel:2\nGainSel:0\n"
        "fSinc5:1\nfBUF_ON:0\nMEND:\nD:\n";
    for (int i = 0; i < 100; ++i) {
        text += QByteArray::number(8388600 + i) + ",8388650\n";
    }
    WriteText(Path("ramp.DTA"), text + "DEND:\n");
    for (const bool fVolt : {false, true}) {
        SCOPED_TRACE(fVolt);
        QStringList arguments = {"show", "ramp.DTA", "--png", "ramp.png"};
        if (fVolt) {
            arguments << "--volt";
        }
        // Qt would note the missing runtime folder; standard error is the tool's own.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("XDG_RUNTIME_DIR");
        const CliResult result = Run(arguments, environment);
        ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
        const QImage picture = QImage(Path("ramp.png")).convertToFormat(QImage::Format_RGB32);
        // The caption's line goes under the window's graph area.
        ASSERT_EQ(picture.size(), QSize(656, 433 + PictureCaption::LineHeight()));

        // The paint box's inside is the graph's bitmap, pixel for pixel: no label reaches
        // into it.
        const QImage bitmap = GraphBitmap(Path("ramp.DTA"), fVolt);
        ASSERT_EQ(bitmap.size(), QSize(558, 367));
        EXPECT_EQ(picture.copy(73, 25, 558, 367), bitmap);
        // Grid rows of the design size, in grey, and traces in red and blue.
        for (const int y : {0, 36, 73, 109, 146, 183, 219, 256, 292, 329, 366}) {
            EXPECT_EQ(picture.pixel(73 + 27, 25 + y), qRgb(128, 128, 128)) << y;
        }
        const auto count = [&picture](QRgb colour) {
            int n = 0;
            for (int y = 25; y < 392; ++y) {
                for (int x = 73; x < 631; ++x) {
                    n += picture.pixel(x, y) == colour ? 1 : 0;
                }
            }
            return n;
        };
        EXPECT_GT(count(qRgb(255, 0, 0)), 100);
        EXPECT_GT(count(qRgb(0, 0, 255)), 100);
        // Axis labels are drawn left of the box and below it.
        const QRgb background = picture.pixel(2, 2);
        int labelPixels = 0;
        for (int y = 0; y < 433; ++y) {
            for (int x = 0; x < 70; ++x) {
                labelPixels += picture.pixel(x, y) != background ? 1 : 0;
            }
        }
        EXPECT_GT(labelPixels, 200);
    }
}

}  // namespace
