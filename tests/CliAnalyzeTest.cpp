// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-cli analyze, and measure --analyze, on files of hand-worked figures and on the
// simulated board.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <numbers>
#include <span>
#include <vector>

#include "analysis/NoiseAnalysis.h"
#include "charts/AnalysisCharts.h"
#include "charts/PictureCaption.h"
#include "datafile/Myfile.h"
#include "tests/CliTestSupport.h"
#include "tests/fakes/FakePrompts.h"

namespace {

const QByteArray kHeader =
    "AD7172_DataFile:\nM:\nspsSel:13\nDataCountSel:0\nCHSel:%1\nGainSel:0\nfSinc5:1\n"
    "fBUF_ON:0\nMEND:\nD:\n";
// CH0 alternates 0 and 2 codes above mid-scale, CH1 stays at mid-scale; 5208 per second.
const QByteArray kTwoChannels = QByteArray(kHeader).replace("%1", "2") +
                                "8388608,8388608\n8388610,8388608\n8388608,8388608\n"
                                "8388610,8388608\nDEND:\n";
const QString kCodeLimit = "ノイズが1コード未満のため、変換器の24ビットが上限";
const QString kNoMinimum = "最長の τ が最小のため、まだ下がる可能性があります";
// One code is 2500000 / 8388607 µV.
constexpr double kCodeMicrovolts = 0.29802325940409413;

const QStringList kConstantLines = {"CH1 : サンプルレート：5208 Hz",
                                    "CH1 : データ数：4",
                                    "CH1 : 平均値：0.000 uV",
                                    "CH1 : ノイズ実効値 (rms)：0 uV",
                                    "CH1 : ピークツーピーク：0 uV",
                                    "CH1 : 実効分解能：24.00 bit（" + kCodeLimit + "）",
                                    "CH1 : ノイズフリー分解能：24.00 bit（" + kCodeLimit + "）",
                                    "CH1 : ドリフト：0 uV/s",
                                    "CH1 : ミッシングコード：0",
                                    "CH1 : ヒストグラムのビン幅：1 digit",
                                    "CH1 : ホワイトノイズ密度：0 nV/√Hz",
                                    "CH1 : スペクトルピーク周波数：—",
                                    "CH1 : スペクトルピーク密度：—",
                                    "CH1 : 1/f コーナー周波数：—",
                                    "CH1 : 0.1–10 Hz ノイズ (rms)：—",
                                    "CH1 : 0.1–10 Hz ノイズ (p-p 最大)：—",
                                    "CH1 : 0.1–10 Hz ノイズ (p-p 中央値)：—",
                                    "CH1 : アラン偏差が最小の τ：—（" + kNoMinimum + "）",
                                    "CH1 : アラン偏差の最小値：—",
                                    "※ミッシングコード：正規分布なら5回以上出るはずなのに、"
                                    "一度も出なかったコードの数"};

class CliAnalyze : public CliFixture {
protected:
    void SetUp() override {
        CliFixture::SetUp();
        WriteText(Path("two.DTA"), kTwoChannels);
    }
};

TEST_F(CliAnalyze, PrintsEveryFigureOfEachChannelWithItsUnit) {
    const CliResult result = Run({"analyze", "two.DTA"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList lines = result.OutLines();
    ASSERT_EQ(lines.size(), 39);
    // Mean and rms one code, peak-to-peak two, a slope of 0.4 codes per sample, the Allan
    // deviation at one sample √2 codes.
    EXPECT_EQ(lines.mid(2, 6),
              QStringList({"CH0 : 平均値：0.298 uV", "CH0 : ノイズ実効値 (rms)：0.2980 uV",
                           "CH0 : ピークツーピーク：0.5960 uV", "CH0 : 実効分解能：24.00 bit",
                           "CH0 : ノイズフリー分解能：23.00 bit", "CH0 : ドリフト：621 uV/s"}));
    // Four samples leave the code between two codes empty by chance, not as a fault.
    EXPECT_EQ(lines[8], "CH0 : ミッシングコード：0");
    // Four samples at 5208 per second: far too short for a 1/f corner or the 0.1–10 Hz noise.
    EXPECT_EQ(lines[13], "CH0 : 1/f コーナー周波数：—");
    EXPECT_EQ(lines[16], "CH0 : 0.1–10 Hz ノイズ (p-p 中央値)：—");
    // Four samples give one τ: no minimum can be told from it.
    EXPECT_EQ(lines[17], "CH0 : アラン偏差が最小の τ：—（" + kNoMinimum + "）");
    EXPECT_EQ(lines[18], "CH0 : アラン偏差の最小値：—");
    EXPECT_EQ(lines.mid(19), kConstantLines);

    const CliResult one = Run({"analyze", "two.DTA", "--channel", "1"});
    EXPECT_EQ(one.exitCode, 0);
    EXPECT_EQ(one.OutLines(), kConstantLines);
}

TEST_F(CliAnalyze, JsonHasTheGivenShapeAndFullNumbers) {
    const CliResult result = Run({"analyze", "two.DTA", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    // Numbers carry every digit of the double: far more than nine.
    EXPECT_TRUE(result.out.contains("\"rmsMicrovolts\":0.29802325940409"));
    const QJsonObject root = QJsonDocument::fromJson(result.out.toUtf8()).object();
    EXPECT_EQ(root.keys(), QStringList({"channels", "sampleRate", "settings"}));
    EXPECT_EQ(root["sampleRate"].toDouble(), 5208.0);
    EXPECT_EQ(root["settings"].toObject()["spsSel"].toInt(), 13);
    const QJsonArray channels = root["channels"].toArray();
    ASSERT_EQ(channels.size(), 2);
    const QJsonObject ch0 = channels[0].toObject();
    EXPECT_EQ(ch0.keys(),
              QStringList({"allan", "allanMinimumReached", "channel", "count",
                           "driftMicrovoltsPerSecond", "effectiveResolutionBits", "flickerCornerHz",
                           "histogram", "lowFrequencyNoise", "meanMicrovolts", "missingCodes",
                           "noiseFreeResolutionBits", "peakToPeakMicrovolts",
                           "resolutionLimitedByCode", "rmsMicrovolts", "spectralPeak", "spectrum",
                           "spectrumLogFrequency", "whiteNoiseNanovoltsPerRootHz"}));
    EXPECT_EQ(ch0["count"].toInt(), 4);
    EXPECT_DOUBLE_EQ(ch0["meanMicrovolts"].toDouble(), kCodeMicrovolts);
    EXPECT_EQ(ch0["histogram"].toObject(), QJsonObject({{"firstCode", 8388608},
                                                        {"binWidthCodes", 1},
                                                        {"counts", QJsonArray({2, 0, 2})}}));
    // Segments of four: bins at 0, fs/4 and fs/2.
    EXPECT_EQ(ch0["spectrum"].toObject()["frequencyHz"].toArray(), QJsonArray({0, 1302, 2604}));
    EXPECT_TRUE(ch0["spectralPeak"].isNull());
    // Fewer samples than one segment of the log-frequency spectrum: its arrays are empty, and
    // what needs it or 20 s is null.
    EXPECT_EQ(ch0["spectrumLogFrequency"].toObject(),
              QJsonObject({{"frequencyHz", QJsonArray()}, {"nanovoltsPerRootHz", QJsonArray()}}));
    EXPECT_TRUE(ch0["flickerCornerHz"].isNull());
    EXPECT_TRUE(ch0["lowFrequencyNoise"].isNull());
    EXPECT_DOUBLE_EQ(ch0["allan"].toObject()["deviationMicrovolts"].toArray()[0].toDouble(),
                     std::sqrt(2.0) * kCodeMicrovolts);
    const QJsonObject ch1 = channels[1].toObject();
    EXPECT_EQ(ch1["effectiveResolutionBits"].toDouble(), 24.0);
    EXPECT_EQ(ch1["noiseFreeResolutionBits"].toDouble(), 24.0);
    EXPECT_TRUE(ch1["resolutionLimitedByCode"].toBool());
    EXPECT_FALSE(ch1["allanMinimumReached"].toBool(true));
    EXPECT_EQ(ch1["whiteNoiseNanovoltsPerRootHz"].toDouble(-1.0), 0.0);
}

TEST_F(CliAnalyze, ChannelsThatCannotBeAnalysedAndBadInput) {
    WriteText(Path("single.DTA"), QByteArray(kHeader).replace("%1", "2") + "1,2\nDEND:\n");
    WriteText(Path("ch0.DTA"), QByteArray(kHeader).replace("%1", "0") + "1\n2\n3\nDEND:\n");
    WriteText(Path("empty.DTA"), QByteArray(kHeader).replace("%1", "0") + "DEND:\n");
    WriteText(Path("bad.DTA"), "AD7172_DataFile:\nM:\n");
    const QString tooFew = "データが2個未満のため解析できません";
    struct Row {
        QStringList arguments;
        int exitCode;
        QStringList errors;
    };
    const Row rows[] = {
        {{"analyze", "single.DTA"}, 1, {"CH0 : " + tooFew, "CH1 : " + tooFew}},
        {{"analyze", "ch0.DTA", "--channel", "1"}, 1, {"CH1 : データがありません"}},
        {{"analyze", "empty.DTA", "--json"}, 1, {"CH0 : データがありません"}},
        {{"analyze", "bad.DTA"},
         1,
         {"データファイルの内容が正しくありませんでした：bad.DTA（2 行目で途切れています）"}},
        {{"analyze", "missing.DTA"},
         1,
         {"データファイルを読めませんでした：missing.DTA（ファイルまたはフォルダがありません）"}},
        // A pipe without a writer is no recording: refused, not waited on.
        {{"analyze", "pipe.csv"},
         1,
         {"データファイルを読めませんでした：pipe.csv（通常のファイルではありません）"}},
    };
    ASSERT_EQ(mkfifo(Path("pipe.csv").toLocal8Bit().constData(), 0600), 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const CliResult result = Run(row.arguments);
        EXPECT_EQ(result.exitCode, row.exitCode);
        EXPECT_EQ(result.err.split('\n', Qt::SkipEmptyParts), row.errors);
        EXPECT_TRUE(result.out.isEmpty());
    }
    for (const QStringList& arguments : {QStringList{"analyze"},
                                         {"analyze", "two.DTA", "--channel", "2"},
                                         {"analyze", "two.DTA", "--analyze"},
                                         {"analyze", "two.DTA", "--volt"}}) {
        EXPECT_EQ(Run(arguments).exitCode, 2) << arguments.join(' ').toStdString();
    }
}

TEST_F(CliAnalyze, PicturesAreTheWindowsChartsAt800By500) {
    QByteArray text = QByteArray(kHeader).replace("%1", "1");
    for (int i = 0; i < 500; ++i) {
        text += QByteArray::number(8388608 + (i * 7919) % 23) + '\n';
    }
    WriteText(Path("ch1.DTA"), text + "DEND:\n");
    const CliResult result = Run(
        {"analyze", "ch1.DTA", "--histogram", "h.png", "--spectrum", "s.png", "--allan", "a.png"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();

    FakePrompts prompts;
    MeasureSettings settings;
    ChannelBuffer ch0;
    ChannelBuffer ch1;
    ASSERT_TRUE(
        TmyFile(prompts).Load(Path("ch1.DTA").toStdString(), settings, ch0.Series, ch1.Series));
    const auto analysis =
        NoiseAnalysis::Compute(std::span<const std::int32_t>(ch1.Codes.data(), 500), settings);
    ASSERT_TRUE(analysis);
    const std::pair<QString, AnalysisCharts::Kind> pictures[] = {
        {"h.png", AnalysisCharts::Kind::Histogram},
        {"s.png", AnalysisCharts::Kind::Spectrum},
        {"a.png", AnalysisCharts::Kind::Allan}};
    const PictureCaption caption = PictureCaption::For(Path("ch1.DTA"), 1, 5208.0, true, 500);
    EXPECT_TRUE(caption.Text().startsWith("ch1.DTA　CH1　5208 sps　Sinc5+Sinc1　データ数 500　"));
    for (const auto& [name, kind] : pictures) {
        const QImage picture = QImage(Path(name)).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(picture.size(), QSize(800, 500 + PictureCaption::LineHeight()))
            << name.toStdString();
        EXPECT_EQ(picture, AnalysisCharts::Picture(kind, *analysis, 1, caption)
                               .convertToFormat(QImage::Format_RGB32))
            << name.toStdString();
    }

    const CliResult unwritable = Run({"analyze", "ch1.DTA", "--allan", "no/such/folder/a.png"});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_EQ(unwritable.err,
              "保存できません：no/such/folder/a.png（ファイルまたはフォルダがありません）\n");
    EXPECT_TRUE(unwritable.out.isEmpty());
}

TEST_F(CliAnalyze, MeasureAnalysesWhatItMeasured) {
    const QStringList measure = {"measure", "--device", "sim",       "--rate", "31250",
                                 "--count", "1000",     "--channel", "2"};
    const CliResult text = Run(measure + QStringList{"--analyze"});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QStringList lines = text.OutLines();
    ASSERT_EQ(lines.size(), 2 + 2 * 19 + 1);
    EXPECT_TRUE(lines[1].startsWith("CH1 : 最大値："));
    EXPECT_EQ(lines[2], "CH0 : サンプルレート：31250 Hz");

    const CliResult json =
        Run(measure + QStringList{"--json", "--spectrum", "s.png", "--output", "run.DTA"});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(root["sampleRate"].toDouble(), 31250.0);
    EXPECT_TRUE(root.contains("board"));
    // The status bar's statistics and the analysis side by side, the analysis that of the
    // samples saved.
    const QJsonArray analysed =
        QJsonDocument::fromJson(Run({"analyze", "run.DTA", "--json"}).out.toUtf8())
            .object()["channels"]
            .toArray();
    const QJsonArray channels = root["channels"].toArray();
    ASSERT_EQ(channels.size(), 2);
    ASSERT_EQ(analysed.size(), 2);
    for (qsizetype i = 0; i < 2; ++i) {
        const QJsonObject c = channels[i].toObject();
        EXPECT_TRUE(c.contains("codeStdDev"));
        const QJsonObject a = analysed[i].toObject();
        for (auto key = a.begin(); key != a.end(); ++key) {
            EXPECT_EQ(c[key.key()], key.value()) << key.key().toStdString();
        }
    }
    EXPECT_EQ(QImage(Path("s.png")).size(), QSize(800, 500 + PictureCaption::LineHeight()));
}

// What a wrong sample rate changes: the white noise level, the spectrum's last frequency and
// the longest averaging time of the Allan deviation.
std::vector<double> RateFigures(const CliResult& result) {
    const QJsonObject root = QJsonDocument::fromJson(result.out.toUtf8()).object();
    const QJsonObject ch0 = root["channels"].toArray()[0].toObject();
    return {root["sampleRate"].toDouble(), ch0["whiteNoiseNanovoltsPerRootHz"].toDouble(),
            ch0["spectrum"].toObject()["frequencyHz"].toArray().last().toDouble(),
            ch0["allan"].toObject()["tauSeconds"].toArray().last().toDouble()};
}

// The tables of measure and show say their rate in the recording's header lines, so analyze
// gives the data file's figures; a table without them (as written before) is refused unless
// --rate gives the rate, which also overrides a header.
TEST_F(CliAnalyze, TablesSayTheirRateAndATableWithoutOneNeedsRate) {
    ASSERT_EQ(Run({"measure", "--device", "sim", "--rate", "31250", "--count", "1000", "--output",
                   "run.DTA", "--csv", "run.csv"})
                  .exitCode,
              0);
    ASSERT_EQ(Run({"show", "run.DTA", "--csv", "shown.csv"}).exitCode, 0);
    const QStringList head = {"# spsSel:16", "# CHSel:0", "# fSinc5:1", "# sampleRate:31250",
                              "# count:1000"};
    const QStringList measured = FileLines(Path("run.csv"));
    ASSERT_EQ(measured.size(), 8 + 1000);
    EXPECT_EQ(measured[0], "# board:SELKORAN / 1.10");
    EXPECT_EQ(measured.mid(1, 5), head);
    EXPECT_TRUE(measured[6].startsWith("# start:"));
    const QStringList table = measured.mid(7);
    EXPECT_EQ(table[0], "sample,ch0_code,ch0_microvolts");
    // A data file knows neither the board nor the start.
    EXPECT_EQ(FileLines(Path("shown.csv")), head + table);
    WriteText(Path("old.csv"), table.join('\n').toUtf8() + '\n');

    const std::vector<double> expected = RateFigures(Run({"analyze", "run.DTA", "--json"}));
    ASSERT_EQ(expected[0], 31250.0);
    for (const QStringList& arguments : {QStringList{"analyze", "run.csv", "--json"},
                                         {"analyze", "shown.csv", "--json"},
                                         {"analyze", "old.csv", "--rate", "31250", "--json"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const std::vector<double> figures = RateFigures(Run(arguments));
        ASSERT_EQ(figures.size(), expected.size());
        for (std::size_t i = 0; i < figures.size(); ++i) {
            EXPECT_NEAR(figures[i], expected[i], 1e-9 * expected[i]) << i;
        }
    }
    EXPECT_EQ(RateFigures(Run({"analyze", "run.csv", "--rate", "10", "--json"}))[0], 10.0);

    const CliResult refused = Run({"analyze", "old.csv"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err,
              "サンプルレートがわかりません：old.csv（表にサンプルレートの # 行がありません。"
              "--rate 31250 のように指定してください）\n");
    EXPECT_TRUE(refused.out.isEmpty());
}

// A recording of 40 s at 100 per second holding a sine of 1000 µV at 1 Hz: the 0.1–10 Hz lines
// give its rms and, in each of the three whole windows after the first 10 s, its peak-to-peak
// value (the band takes 0.005 % off at 1 Hz).
TEST_F(CliAnalyze, ARecordingShowsItsBandNoiseInTheFigureLines) {
    QByteArray table = "# sampleRate:100\nsample,ch0_code,ch0_microvolts\n";
    for (int i = 0; i < 4000; ++i) {
        const double uv = 1000.0 * std::sin(2 * std::numbers::pi * i / 100.0);
        table += QByteArray::number(i + 1) + ',' +
                 QByteArray::number(8388608 + std::lround(uv / kCodeMicrovolts)) + ',' +
                 QByteArray::number(uv) + '\n';
    }
    WriteText(Path("sine.csv"), table);
    const CliResult result = Run({"analyze", "sine.csv"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const auto figure = [&](const QString& name) {
        const QStringList lines = result.OutLines().filter("CH0 : " + name + "：");
        return lines.size() == 1 ? lines[0].section("：", 1).section(' ', 0, 0).toDouble() : -1.0;
    };
    EXPECT_NEAR(figure("0.1–10 Hz ノイズ (rms)"), 1000 / std::sqrt(2.0), 0.5);
    EXPECT_NEAR(figure("0.1–10 Hz ノイズ (p-p 最大)"), 2000, 1.0);
    EXPECT_NEAR(figure("0.1–10 Hz ノイズ (p-p 中央値)"), 2000, 1.0);
    const QJsonObject band =
        QJsonDocument::fromJson(Run({"analyze", "sine.csv", "--json"}).out.toUtf8())
            .object()["channels"]
            .toArray()[0]
            .toObject()["lowFrequencyNoise"]
            .toObject();
    EXPECT_EQ(band["windows"].toInt(), 3);
}

}  // namespace
