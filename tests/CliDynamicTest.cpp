// SPDX-License-Identifier: GPL-3.0-or-later
// The figures of a sine applied, as measure and analyze give them with --dynamic: a sine set on
// the simulated board comes back with its frequency and harmonic levels, a channel without one
// says so, and a recording gives the figures of its first 2^20 samples.

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>
#include <fstream>
#include <numbers>
#include <span>

#include "analysis/DynamicFigures.h"
#include "analysis/NoiseAnalysis.h"
#include "charts/AnalysisCharts.h"
#include "charts/PictureCaption.h"
#include "common/Codes.h"
#include "datafile/Myfile.h"
#include "record/RecordingFormat.h"
#include "tests/CliTestSupport.h"
#include "tests/fakes/FakePrompts.h"

namespace {

// 1 V peak at 1000.3 Hz, between bins, with its second and third harmonic set.
const QStringList kSineRun = {
    "measure",  "--device",  "sim:sine=1000.3,amp=1000000,hd2=-80,hd3=-90",
    "--rate",   "31250",     "--count",
    "10000",    "--channel", "both",
    "--dynamic"};
constexpr double kHz = 1000.3;

QJsonArray Channels(const CliResult& result) {
    return QJsonDocument::fromJson(result.out.toUtf8()).object()["channels"].toArray();
}

class CliDynamic : public CliFixture {};

TEST_F(CliDynamic, MeasureGivesTheSineThatWasSetAndNoneOnTheDcChannel) {
    const CliResult result = Run(kSineRun + QStringList{"--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonArray channels = Channels(result);
    ASSERT_EQ(channels.size(), 2);
    const QJsonObject sine = channels[0].toObject()["dynamic"].toObject();
    EXPECT_EQ(sine.keys(),
              QStringList({"enobBits", "enobFullScaleBits", "fundamentalDbfs", "fundamentalHz",
                           "fundamentalMicrovoltsRms", "harmonics",
                           "noiseDensityNanovoltsPerRootHz", "noiseFloorDbfs", "sfdrDb",
                           "sfdrSpurHz", "sinadDb", "sineFit", "snrDb", "thdDb"}));
    EXPECT_NEAR(sine["fundamentalHz"].toDouble(), kHz, 0.03);
    EXPECT_NEAR(sine["fundamentalDbfs"].toDouble(), 20.0 * std::log10(1.0 / 2.5), 0.01);
    EXPECT_NEAR(sine["fundamentalMicrovoltsRms"].toDouble(), 1e6 / std::numbers::sqrt2, 100.0);
    const QJsonArray harmonics = sine["harmonics"].toArray();
    ASSERT_GE(harmonics.size(), 2);
    const double set[] = {-80.0, -90.0};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject h = harmonics[i].toObject();
        EXPECT_EQ(h.keys(), QStringList({"dbc", "frequencyHz", "order"}));
        EXPECT_EQ(h["order"].toInt(), i + 2);
        EXPECT_NEAR(h["frequencyHz"].toDouble(), (i + 2) * kHz, 0.1);
        EXPECT_NEAR(h["dbc"].toDouble(), set[i], 0.3);
    }
    EXPECT_NEAR(sine["thdDb"].toDouble(), 10.0 * std::log10(1e-8 + 1e-9), 0.3);
    // The largest spur is the second harmonic.
    EXPECT_NEAR(sine["sfdrDb"].toDouble(), 80.0, 0.3);
    EXPECT_NEAR(sine["sfdrSpurHz"].toDouble(), 2 * kHz, 0.1);
    EXPECT_NEAR(sine["enobBits"].toDouble(), (sine["sinadDb"].toDouble() - 1.76) / 6.02, 1e-9);
    const QJsonObject fit = sine["sineFit"].toObject();
    EXPECT_EQ(fit.keys(), QStringList({"amplitudeMicrovolts", "enobBits", "frequencyHz",
                                       "offsetMicrovolts", "sinadDb"}));
    EXPECT_NEAR(fit["frequencyHz"].toDouble(), kHz, 0.001);
    EXPECT_NEAR(fit["amplitudeMicrovolts"].toDouble(), 1e6, 100.0);
    // The CH0 input's offset of 4 µV under the sine.
    EXPECT_NEAR(fit["offsetMicrovolts"].toDouble(), 4.0, 1.0);
    EXPECT_NEAR(fit["sinadDb"].toDouble(), sine["sinadDb"].toDouble(), 0.5);
    // CH1 holds 1.25 V and its noise: no sine, no made-up figure.
    EXPECT_TRUE(channels[1].toObject()["dynamic"].isNull());
}

TEST_F(CliDynamic, LinesFollowTheNoiseLinesWithUnitsAndSayWhyAFigureIsMissing) {
    const CliResult result = Run(kSineRun);
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList lines = result.OutLines();
    // Two statistics lines, two channels' noise figures, the note, then the dynamic figures.
    const qsizetype note = lines.indexOf(
        "※ミッシングコード：正規分布なら5回以上出るはずなのに、一度も出なかったコードの数");
    ASSERT_EQ(note, 2 + 2 * 19);
    ASSERT_EQ(lines.size(), note + 1 + 2 * 28);
    EXPECT_EQ(lines[note + 1], "CH0 : FFT のデータ数：10000");
    EXPECT_TRUE(QRegularExpression("^CH0 : 信号周波数：1000\\.(29|30|31)\\d Hz$")
                    .match(lines[note + 2])
                    .hasMatch())
        << lines[note + 2].toStdString();
    EXPECT_EQ(lines[note + 3], "CH0 : 信号レベル：-7.96 dBFS");
    EXPECT_TRUE(QRegularExpression("^CH0 : 第2高調波：-(79\\.[789]|80\\.[0-2])\\d dBc"
                                   "（2000\\.\\d{3} Hz）$")
                    .match(lines[note + 15])
                    .hasMatch())
        << lines[note + 15].toStdString();
    const QStringList ch1 = lines.mid(note + 1 + 28);
    EXPECT_EQ(ch1[0], "CH1 : FFT のデータ数：10000");
    EXPECT_EQ(ch1[1],
              "CH1 : 信号周波数：—（正弦波が見つかりません（中央値より 40 dB "
              "以上高いビンがありません））");
    for (const QString& line : ch1.mid(2)) {
        EXPECT_TRUE(line.endsWith("：—")) << line.toStdString();
    }
}

TEST_F(CliDynamic, TooShortASeriesHasNoFigures) {
    QByteArray text =
        "AD7172_DataFile:\nM:\nspsSel:16\nDataCountSel:0\nCHSel:0\nGainSel:0\nfSinc5:1\n"
        "fBUF_ON:0\nMEND:\nD:\n";
    // 1000 samples of a loud sine: one short of nothing but the count.
    for (int i = 0; i < 1000; ++i) {
        text += QByteArray::number(kMidScaleCode +
                                   std::lround(1e6 * std::sin(2.0 * std::numbers::pi * i / 31.0))) +
                '\n';
    }
    WriteText(Path("short.DTA"), text + "DEND:\n");
    const CliResult json = Run({"analyze", "short.DTA", "--dynamic", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonObject ch0 = Channels(json)[0].toObject();
    ASSERT_TRUE(ch0.contains("dynamic"));
    EXPECT_TRUE(ch0["dynamic"].isNull());
    const QStringList lines = Run({"analyze", "short.DTA", "--dynamic"}).OutLines();
    EXPECT_TRUE(
        lines.contains("CH0 : FFT のデータ数：—（データが1024個未満のため FFT を計算できません）"));
    EXPECT_TRUE(lines.contains("CH0 : 信号周波数：—"));
    // Without --dynamic nothing of it.
    EXPECT_FALSE(
        Channels(Run({"analyze", "short.DTA", "--json"}))[0].toObject().contains("dynamic"));
}

TEST_F(CliDynamic, FftPictureIsTheAnalysisWindowsChartWithItsCaption) {
    ASSERT_EQ(Run(kSineRun.mid(0, 6) + QStringList{"2000", "--output", "sine.DTA"}).exitCode, 0);
    const CliResult result = Run({"analyze", "sine.DTA", "--fft", "f.png"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    // The picture brings the figures it draws.
    EXPECT_TRUE(result.out.contains("CH0 : FFT のデータ数：2000")) << result.out.toStdString();

    FakePrompts prompts;
    MeasureSettings settings;
    ChannelBuffer ch0;
    ChannelBuffer ch1;
    ASSERT_TRUE(
        TmyFile(prompts).Load(Path("sine.DTA").toStdString(), settings, ch0.Series, ch1.Series));
    const auto analysis =
        NoiseAnalysis::WithDynamic(std::span<const std::int32_t>(ch0.Codes.data(), 2000), settings);
    ASSERT_TRUE(analysis && analysis->dynamic && analysis->dynamic->sine);
    const PictureCaption caption = PictureCaption::For(Path("sine.DTA"), 0, 31250.0, true, 2000);
    const QImage picture = QImage(Path("f.png")).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(picture.size(), QSize(800, 500 + PictureCaption::LineHeight()));
    EXPECT_EQ(picture, AnalysisCharts::Picture(AnalysisCharts::Kind::Fft, *analysis, 0, caption)
                           .convertToFormat(QImage::Format_RGB32));
}

// A recording longer than the transform takes: its first 2^20 samples hold 1 kHz, the rest a
// louder 5 kHz that would win were it counted; the noise figures take every sample.
TEST_F(CliDynamic, ARecordingGivesTheFiguresOfItsFirst2To20Samples) {
    constexpr std::int64_t kFirst = DynamicFigures::kMaxSamples;
    constexpr std::int64_t kCount = kFirst + 60000;
    std::ofstream file(Path("long.csv").toStdString());
    file << RecordingFormat::HeaderText({"SELKORAN", "1.10", 16, 0, true, kCount, {}});
    char row[RecordingFormat::kMaxRowLength];
    for (std::int64_t i = 0; i < kCount; ++i) {
        const bool fFirst = i < kFirst;
        const double t = static_cast<double>(i) / 31250.0;
        const double uv = (fFirst ? 1e6 : 2e6) *
                          std::sin(2.0 * std::numbers::pi * (fFirst ? 1000.0 : 5000.0) * t);
        const auto code =
            static_cast<std::int32_t>(kMidScaleCode + std::lround(uv / kMicrovoltsPerCode));
        const RecordingFormat::Cell cell{code, CodeToMicrovolts(code, 1)};
        file.write(row, RecordingFormat::AppendRow(row, i + 1, {&cell, 1}) - row);
    }
    file.close();
    const CliResult result = Run({"analyze", "long.csv", "--dynamic"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList lines = result.OutLines();
    EXPECT_TRUE(lines.contains("CH0 : データ数：1108576"));
    EXPECT_TRUE(lines.contains("CH0 : FFT のデータ数：1048576（先頭の 1048576 データ）"));
    EXPECT_TRUE(lines.contains("CH0 : 信号周波数：1000.000 Hz")) << result.out.toStdString();
    EXPECT_TRUE(lines.contains("CH0 : 信号レベル：-7.96 dBFS"));
}

}  // namespace
