// SPDX-License-Identifier: GPL-3.0-or-later
// measure's readings over power-line cycles, its null and its scaling, as a separate process
// on the simulated board with a 50 Hz sine on CH0.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <cmath>
#include <vector>

#include "common/Codes.h"
#include "tests/CliTestSupport.h"

namespace {

using CliReadings = CliFixture;

// One channel's codes from the CSV table measure writes (the rows after the "#" lines).
std::vector<std::int64_t> CsvCodes(const QString& path, int column) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<std::int64_t> codes;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (!line.startsWith('#') && !line.startsWith(QStringLiteral("sample"))) {
            codes.push_back(line.split(',')[column].toLongLong());
        }
    }
    return codes;
}

// The exact mean of each group of `size` codes, in microvolts by the code rule.
std::vector<double> Means(const std::vector<std::int64_t>& codes, std::size_t size) {
    std::vector<double> means;
    for (std::size_t first = 0; first + size <= codes.size(); first += size) {
        std::int64_t sum = 0;
        for (std::size_t i = first; i < first + size; ++i) {
            sum += codes[i] - kMidScaleCode;
        }
        means.push_back(
            OffsetToMicrovolts(static_cast<double>(sum) / static_cast<double>(size), 1));
    }
    return means;
}

TEST_F(CliReadings, ReadingsOverOneLineCycleAverageTheHumAwayAndMatchTheSamples) {
    const CliResult result = Run({"measure", "--device", "sim:seed=3,sine=50,amp=1000000", "--nplc",
                                  "1", "--count", "4", "--csv", "r.csv", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonObject root = QJsonDocument::fromJson(result.out.toUtf8()).object();
    const QJsonObject settings = root["readingSettings"].toObject();
    EXPECT_EQ(settings["samplesPerReading"], QJsonValue(625)) << "31250 per second, 50 Hz";
    EXPECT_EQ(root["settings"].toObject()["spsSel"], QJsonValue(16)) << "the top rate";
    const QJsonObject ch0 = root["channels"].toArray()[0].toObject();
    EXPECT_EQ(ch0["unit"].toString(), "uV");
    const QJsonArray readings = ch0["readings"].toArray();
    const std::vector<double> means = Means(CsvCodes(Path("r.csv"), 1), 625);
    ASSERT_EQ(readings.size(), 4);
    ASSERT_EQ(means.size(), 4U) << "the table holds the readings' samples";
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(readings[i].toDouble(), means[static_cast<std::size_t>(i)], 1e-9);
        // 1 V of 50 Hz gone; 4 uV of offset and 5 uV / 25 of noise left.
        EXPECT_NEAR(readings[i].toDouble(), 4.0, 2.0);
    }
    EXPECT_GT(ch0["microvoltStdDev"].toDouble(), 700000.0) << "the samples still hold the sine";

    const CliResult text = Run({"measure", "--device", "sim:seed=3,sine=50,amp=1000000", "--nplc",
                                "1", "--count", "3", "--line", "60"});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QStringList lines = text.OutLines();
    ASSERT_EQ(lines.size(), 4) << text.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("1 CH0 読み値："))) << lines[0].toStdString();
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("CH0 : 最大値："))) << lines[3].toStdString();
    // 521 samples at 60 Hz over a 50 Hz sine: 1.2 cycles of it pass in part.
    double largest = 0.0;
    for (int i = 0; i < 3; ++i) {
        const QString value = lines[i].section(QStringLiteral("読み値："), 1).section('[', 0, 0);
        largest = std::max(largest, std::abs(value.toDouble()));
    }
    EXPECT_GT(largest, 1000.0) << text.out.toStdString();
}

TEST_F(CliReadings, NullAndScaleGiveBothChannelsInTheUsersUnit) {
    const CliResult result =
        Run({"measure", "--device", "sim:seed=3", "--channel", "2", "--rate", "31250", "--count",
             "200", "--null", "1.25", "--scale", "400,2,mV/V", "--json", "--csv", "s.csv"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonArray channels =
        QJsonDocument::fromJson(result.out.toUtf8()).object()["channels"].toArray();
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        const QJsonObject channel = channels[c].toObject();
        const std::vector<double> microvolts = Means(CsvCodes(Path("s.csv"), 1 + 2 * c), 1);
        const QJsonArray readings = channel["readings"].toArray();
        ASSERT_EQ(readings.size(), 200);
        for (int i = 0; i < 200; i += 37) {
            EXPECT_NEAR(readings[i].toDouble(),
                        400.0 * (microvolts[static_cast<std::size_t>(i)] / 1e6 - 1.25) + 2.0, 1e-9);
        }
        EXPECT_TRUE(channel["statistics"].toString().contains(QStringLiteral("[mV/V] / 最小値：")))
            << channel["statistics"].toString().toStdString();
    }
    // CH1's 1.25 V nulled comes to the offset; CH0's 4 uV to 400 x (-1.25 V) + 2.
    EXPECT_NEAR(channels[1].toObject()["readingMean"].toDouble(), 2.0, 0.01);
    EXPECT_NEAR(channels[0].toObject()["readingMean"].toDouble(), -498.0, 0.01);
}

TEST_F(CliReadings, ReadingsThatCannotBeMadeAreRefusedBeforeTheBoardIsContacted) {
    const struct {
        QStringList arguments;
        QString error;
    } cases[] = {
        {{"--nplc", "100", "--count", "17"},
         QStringLiteral("--count 17 は測れません。--nplc 100 で測れる読み値の数：1 から 16 まで")},
        {{"--line", "60"}, QStringLiteral("--line は --nplc と一緒に指定してください")},
        {{"--nplc", "1", "--output", "x.DTA"},
         QStringLiteral("--nplc と --output は一緒に使えません")},
        {{"--nplc", "0.01"}, QStringLiteral("オプションの値が正しくありません：--nplc 0.01")},
        {{"--null", "3"}, QStringLiteral("オプションの値が正しくありません：--null 3")},
        {{"--scale", "2,1,a\tb"},
         QStringLiteral("--scale の単位は制御文字を含まない 16 文字までにしてください：a\tb")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CliResult result =
            Run(QStringList{"measure", "--device", "sim:silent"} + c.arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.err.startsWith(c.error + '\n')) << result.err.toStdString();
        EXPECT_FALSE(QFile::exists(Path("x.DTA")));
    }
}

}  // namespace
