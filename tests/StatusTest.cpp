// SPDX-License-Identifier: GPL-3.0-or-later
// The status line: every text with its panel, and the panel widths in the bar's font.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "measure/Measurement.h"
#include "status/Mystatus.h"
#include "status/StatusTexts.h"

namespace {

// Widgets need an application object for the whole test program.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { application = std::make_unique<QApplication>(argc, argv); }
    void TearDown() override { application.reset(); }

private:
    int argc = 1;
    char name[16] = "test_Status";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> application;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

class StatusLine : public ::testing::Test {
protected:
    StatusLine() { TmyStatus::CreatePanels(bar); }

    std::string Text(int panel) const { return TmyStatus::Panel(bar, panel)->text().toStdString(); }
    int Width(int panel) const { return TmyStatus::Panel(bar, panel)->width(); }

    QStatusBar bar;
    TmyStatus status{bar, QStringLiteral("SELKORAN Board"), 2};
};

TEST_F(StatusLine, CreatesThreePanelsOf50PixelsWithoutSizeGrip) {
    EXPECT_FALSE(bar.isSizeGripEnabled());
    for (int i = 0; i < TmyStatus::kPanelCount; ++i) {
        ASSERT_NE(TmyStatus::Panel(bar, i), nullptr) << i;
        EXPECT_EQ(Width(i), 50);
        EXPECT_TRUE(TmyStatus::Panel(bar, i)->text().isEmpty());
    }
    EXPECT_EQ(TmyStatus::Panel(bar, 3), nullptr);
}

TEST_F(StatusLine, FixedTextsGoToTheirPanels) {
    struct Row {
        std::function<void(TmyStatus&)> show;
        int panel;
        std::string text;
    };
    const Row rows[] = {
        {[](TmyStatus& s) { s.ShowBoardIdentity("SELKORAN", "1.02"); }, 0, "SELKORAN / 1.02"},
        {[](TmyStatus& s) { s.ShowBoardNotFound(); }, 0, "SELKORAN Board が見つかりませんでした"},
        {[](TmyStatus& s) { s.ShowBoardNoResponse(); }, 0, "SELKORAN Board 応答しませんでした"},
        {[](TmyStatus& s) { s.ShowBoardError(); }, 0, "SELKORAN Board がエラーです"},
        {[](TmyStatus& s) { s.ShowMeasuring(); }, 1, "計測中です"},
        {[](TmyStatus& s) { s.ShowFinished(); }, 1, "計測終了しました"},
        {[](TmyStatus& s) { s.ShowStopped(); }, 1, "計測中止しました"},
        {[](TmyStatus& s) { s.ShowLoaded(); }, 1, "データファイル読み込みました"},
        {[](TmyStatus& s) { s.ShowSaved(); }, 1, "データファイルを保存しました"},
        {[](TmyStatus& s) { s.ShowStarting(); }, 2, "測定開始処理中です。。。"},
        {[](TmyStatus& s) { s.ShowMeasureError(); }, 2, "計測エラーで終了"},
        {[](TmyStatus& s) { s.ShowProgress(300, 8388741); }, 2,
         "データ番号：300 / AD変換値：8388741"},
        {[](TmyStatus& s) { s.ShowProgressTwo(300, 8388741, 8388523); }, 2,
         "データ番号：300 / AD変換値：8388741 / 8388523"},
        {[](TmyStatus& s) { s.ShowProgress(10000, -12); }, 2, "データ番号：10000 / AD変換値：-12"},
    };
    for (const auto& row : rows) {
        row.show(status);
        EXPECT_EQ(Text(row.panel), row.text);
    }
    // Each panel keeps its last text until the next text for it.
    EXPECT_EQ(Text(0), "SELKORAN Board がエラーです");
    EXPECT_EQ(Text(1), "データファイルを保存しました");
    status.ClearReadout();
    EXPECT_EQ(Text(2), "");
    EXPECT_EQ(Width(2), 105);
}

TEST_F(StatusLine, CodeStatisticsShowOneDecimalFromADeviationOf10) {
    struct Row {
        std::int32_t maximum, minimum;
        float deviation;
        int channel;
        std::string text;
    };
    const Row rows[] = {
        {8388741, 8388519, 41.53F, 0,
         "CH0 : 最大値：8388741 / 最小値：8388519 / pp値：222 digit / 標準偏差：41.5 digit"},
        {8388741, 8388519, 10.0F, 1,
         "CH1 : 最大値：8388741 / 最小値：8388519 / pp値：222 digit / 標準偏差：10.0 digit"},
        {8388610, 8388600, 9.999F, 0,
         "CH0 : 最大値：8388610 / 最小値：8388600 / pp値：10 digit / 標準偏差：10.00 digit"},
        {8388608, 8388608, 0.0F, 1,
         "CH1 : 最大値：8388608 / 最小値：8388608 / pp値：0 digit / 標準偏差：0.00 digit"},
        {16777215, 0, 123456.7F, 0,
         "CH0 : 最大値：16777215 / 最小値：0 / pp値：16777215 digit / 標準偏差：123456.7 digit"},
    };
    for (const auto& row : rows) {
        status.ShowCodeStatistics(row.maximum, row.minimum, row.deviation, row.channel);
        EXPECT_EQ(Text(2), row.text);
    }
}

TEST_F(StatusLine, VoltStatisticsTakeTheirDecimalsFromTheDeviation) {
    struct Row {
        int channel;
        float maximum, minimum, deviation;
        std::string text;
    };
    const Row rows[] = {
        {1, 15.2F, -11.9F, 4.83F,
         "CH1 : 最大値：15.20[uV] / 最小値：-11.90[uV] / pp値：27.10[uV] / 標準偏差：4.83[uV]"},
        {0, 15.2F, -11.9F, 9.999F,
         "CH0 : 最大値：15.20[uV] / 最小値：-11.90[uV] / pp値：27.10[uV] / 標準偏差：10.00[uV]"},
        {0, 150.26F, -49.97F, 10.0F,
         "CH0 : 最大値：150.3[uV] / 最小値：-50.0[uV] / pp値：200.2[uV] / 標準偏差：10.0[uV]"},
        {0, 150.26F, -49.97F, 99.99F,
         "CH0 : 最大値：150.3[uV] / 最小値：-50.0[uV] / pp値：200.2[uV] / 標準偏差：100.0[uV]"},
        {1, 1500.6F, -499.7F, 100.0F,
         "CH1 : 最大値：1501[uV] / 最小値：-500[uV] / pp値：2000[uV] / 標準偏差：100[uV]"},
        // The difference is taken before rounding: 0.004 - (-0.004) shows 0.01.
        {0, 0.004F, -0.004F, 0.002F,
         "CH0 : 最大値：0.00[uV] / 最小値：0.00[uV] / pp値：0.01[uV] / 標準偏差：0.00[uV]"},
    };
    for (const auto& row : rows) {
        status.ShowVoltStatistics(row.channel, row.maximum, row.minimum, row.deviation);
        EXPECT_EQ(Text(2), row.text);
    }
}

// At slow rates the noise is about one code: two neighbouring codes near 1.25 V must read as
// one code step (0.298 uV) apart with half a code of spread, in both units.
TEST_F(StatusLine, AOneCodeSpreadNear1Point25VoltShowsAsItIs) {
    Measurement data(100);
    data.Settings.CHSel = 1;
    for (int i = 0; i < 100; ++i) {
        data.Series(1).Codes[i] = 12582912 + i % 2;
    }
    data.SetRunData(100);
    data.Evaluate();
    EXPECT_EQ(StatusTexts::Statistics(data, 1, false).toStdString(),
              "CH1 : 最大値：12582913 / 最小値：12582912 / pp値：1 digit / 標準偏差：0.50 digit");
    EXPECT_EQ(StatusTexts::Statistics(data, 1, true).toStdString(),
              "CH1 : 最大値：1250000.45[uV] / 最小値：1250000.15[uV] / pp値：0.30[uV] / "
              "標準偏差：0.15[uV]");
}

TEST_F(StatusLine, TextsAboveTheHighestPanelAreDropped) {
    TmyStatus twoPanels(bar, QStringLiteral("SELKORAN Board"), 1);
    twoPanels.ShowStarting();
    twoPanels.ShowProgress(1, 2);
    twoPanels.ShowCodeStatistics(3, 1, 0.5F, 0);
    twoPanels.ShowVoltStatistics(0, 3.0F, 1.0F, 0.5F);
    twoPanels.ClearReadout();
    twoPanels.SetPanelText(QStringLiteral("x"), -1);
    EXPECT_EQ(Text(2), "");
    EXPECT_EQ(Width(2), 50);
    EXPECT_EQ(Width(0), 50);

    twoPanels.ShowFinished();
    EXPECT_EQ(Text(1), "計測終了しました");
}

// Counts the layout requests a widget receives.
class LayoutRequests : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::LayoutRequest;
        return false;
    }
    int count = 0;
};

// With the panels' heights kept, a read-out as wide as the last lays nothing out again; every
// panel still sits where a bar laid out afresh for every text puts it, wider texts included.
TEST_F(StatusLine, KeptHeightsSkipTheLayoutForATextAsWideAndPlacePanelsAsBefore) {
    QStatusBar fresh;
    TmyStatus::CreatePanels(fresh);
    TmyStatus freshStatus(fresh, QStringLiteral("SELKORAN Board"), 2);
    // Hidden, the bar keeps free heights: its panels are not laid out at its height yet.
    bar.setGeometry(0, 0, 800, 20);
    TmyStatus::KeepPanelHeights(bar);
    EXPECT_NE(TmyStatus::Panel(bar, 0)->minimumHeight(), TmyStatus::Panel(bar, 0)->maximumHeight());
    for (QStatusBar* b : {&bar, &fresh}) {
        b->setGeometry(0, 0, 800, 20);
        b->show();
    }
    TmyStatus::KeepPanelHeights(bar);
    LayoutRequests requests;
    bar.installEventFilter(&requests);
    const auto samePlaces = [&] {
        QCoreApplication::processEvents();
        for (int i = 0; i < TmyStatus::kPanelCount; ++i) {
            ASSERT_EQ(TmyStatus::Panel(bar, i)->geometry(), TmyStatus::Panel(fresh, i)->geometry())
                << i;
        }
    };
    const std::function<void(TmyStatus&)> steps[] = {
        [](TmyStatus& s) { s.ShowBoardIdentity("SELKORAN", "1.10"); },
        [](TmyStatus& s) { s.ShowMeasuring(); },
        [](TmyStatus& s) { s.ShowStarting(); },
        [](TmyStatus& s) { s.ShowProgressTwo(2100, 8388741, 8388523); },
    };
    for (const auto& step : steps) {
        step(status);
        step(freshStatus);
        samePlaces();
    }
    ASSERT_GT(requests.count, 0);  // wider texts still move the panels after them

    // The same digits in another order: as wide in any font.
    const int before = requests.count;
    const int width = Width(2);
    status.ShowProgressTwo(2101, 8388740, 8388523);
    freshStatus.ShowProgressTwo(2101, 8388740, 8388523);
    samePlaces();
    EXPECT_EQ(Width(2), width);
    EXPECT_EQ(Text(2), "データ番号：2101 / AD変換値：8388740 / 8388523");
    EXPECT_EQ(requests.count, before);

    status.ShowFinished();
    freshStatus.ShowFinished();
    samePlaces();
}

// The glyphs of a run's texts are loaded before the run without any panel or the status log
// (read by checks from outside) seeing those texts. In a process of its own, since the log's
// path is read once: exit code 0 when nothing showed.
[[noreturn]] void LoadGlyphsWithALog(const QString& log) {
    qputenv("SELKORAN_STATUS_LOG", log.toUtf8());
    QStatusBar bar;
    TmyStatus::CreatePanels(bar);
    TmyStatus status(bar, QStringLiteral("SELKORAN Board"), 2);
    status.ShowMeasuring();
    status.ShowStarting();
    std::vector<int> widths;
    for (int i = 0; i < TmyStatus::kPanelCount; ++i) {
        widths.push_back(TmyStatus::Panel(bar, i)->width());
    }
    status.LoadRunTextGlyphs();
    bool fUnchanged =
        TmyStatus::Panel(bar, 0)->text().isEmpty() &&
        TmyStatus::Panel(bar, 1)->text() == QStringLiteral("計測中です") &&
        TmyStatus::Panel(bar, 2)->text() == QStringLiteral("測定開始処理中です。。。");
    for (int i = 0; i < TmyStatus::kPanelCount; ++i) {
        fUnchanged = fUnchanged && TmyStatus::Panel(bar, i)->width() == widths[i];
    }
    status.ShowFinished();
    QFile file(log);
    const bool fLogged =
        file.open(QIODevice::ReadOnly) &&
        QString::fromUtf8(file.readAll()) ==
            QStringLiteral("1\t計測中です\n2\t測定開始処理中です。。。\n1\t計測終了しました\n");
    std::_Exit(fUnchanged && fLogged ? 0 : 1);
}

TEST(StatusGlyphs, LoadingARunsGlyphsShowsAndLogsNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const QString log = QDir::temp().filePath(
        QStringLiteral("selkoran-status-%1.log").arg(QCoreApplication::applicationPid()));
    QFile::remove(log);
    EXPECT_EXIT(LoadGlyphsWithALog(log), ::testing::ExitedWithCode(0), "");
    QFile::remove(log);
}

TEST(StatusPanelWidth, TextWidthPlusFiveAbove100PixelsElse105) {
    struct Row {
        int textWidth, panelWidth;
    };
    const Row rows[] = {{0, 105}, {37, 105}, {100, 105}, {101, 106}, {250, 255}};
    for (const auto& row : rows) {
        EXPECT_EQ(TmyStatus::PanelWidthFor(row.textWidth), row.panelWidth) << row.textWidth;
    }
}

// Pixel widths depend on the font, so this test pins the window's font: IPA P Gothic, 12 px.
TEST_F(StatusLine, PanelWidthIsMeasuredInTheBarsFont) {
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(12);
    bar.setFont(font);
    ASSERT_EQ(QFontInfo(bar.font()).family(), QStringLiteral("IPAPGothic"))
        << "fonts-ipafont-gothic is not installed";
    const QFontMetrics metrics(font);

    status.ShowBoardNotFound();
    const int wide =
        metrics.horizontalAdvance(QStringLiteral("SELKORAN Board が見つかりませんでした"));
    ASSERT_GT(wide, 100);
    EXPECT_EQ(Width(0), wide + 5);

    status.ShowMeasuring();
    ASSERT_LE(metrics.horizontalAdvance(QStringLiteral("計測中です")), 100);
    EXPECT_EQ(Width(1), 105);

    // A larger font makes the same text's panel wider.
    font.setPixelSize(24);
    bar.setFont(font);
    status.ShowBoardNotFound();
    EXPECT_EQ(Width(0), QFontMetrics(font).horizontalAdvance(
                            QStringLiteral("SELKORAN Board が見つかりませんでした")) +
                            5);
    EXPECT_GT(Width(0), wide + 5);
}

}  // namespace
