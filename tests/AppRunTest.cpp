// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "measure/BoardProtocol.h"
#include "tests/AppTestSupport.h"

using namespace std::chrono_literals;

namespace {

const QString kNotFound = "SELKORAN Board が見つかりませんでした";

struct RunFixture : WindowFixture {
    explicit RunFixture(BoardOptions options = {}, int rate = 16, int count = 0, int channel = 0)
        : WindowFixture(std::move(options)) {
        window->ComboBox1->setCurrentIndex(rate);
        window->ComboBox2->setCurrentIndex(count);
        window->ComboBox3->setCurrentIndex(channel);
    }
    void Start() { window->MeasureBtn->click(); }
    std::vector<bool> EnabledControls() const {
        const TFormMain& w = *window;
        return {w.File1->menuAction()->isEnabled(),
                w.Data1->menuAction()->isEnabled(),
                w.MenuY->menuAction()->isEnabled(),
                w.Analysis1->menuAction()->isEnabled(),
                w.NoiseAnalysis1->isEnabled(),
                w.ComboBox1->isEnabled(),
                w.ComboBox2->isEnabled(),
                w.ComboBox3->isEnabled(),
                w.Sinc3_RB->isEnabled(),
                w.Sinc5_RB->isEnabled(),
                w.QuitBtn->isEnabled(),
                w.MeasureBtn->isEnabled()};
    }
    static std::vector<bool> All(bool enabled) { return std::vector<bool>(12, enabled); }
};

TEST(AppRun, CompleteOneChannelRun) {
    RunFixture f({}, 16, 3, 0);  // 31250 sps, 1000 samples, CH0
    f.Start();
    EXPECT_EQ(f.window->MeasureBtn->text(), "測定停止");
    EXPECT_EQ(f.Panel(0), "SELKORAN / 1.10");
    EXPECT_EQ(f.Panel(1), "計測中です");
    EXPECT_EQ(f.Panel(2), "測定開始処理中です。。。");
    std::vector<bool> duringRun = RunFixture::All(false);
    duringRun.back() = true;
    EXPECT_EQ(f.EnabledControls(), duringRun);
    EXPECT_EQ(f.board.wire, "?\rU?\rV?\rS5\rFX\rA0003E8\r");

    f.RunUntilIdle();
    const TFormMain& w = *f.window;
    EXPECT_EQ(w.MeasureBtn->text(), "測定開始");
    EXPECT_EQ(f.EnabledControls(), RunFixture::All(true));
    EXPECT_EQ(w.Series(0).Count, 1000);
    EXPECT_EQ(w.Series(1).Count, 0);
    EXPECT_TRUE(w.HasData(0));
    EXPECT_FALSE(w.HasData(1));
    EXPECT_TRUE(w.BoardReady());
    EXPECT_EQ(f.Panel(1), "計測終了しました");
    EXPECT_TRUE(f.Panel(2).startsWith("CH0 : 最大値：")) << f.Panel(2).toStdString();
    EXPECT_EQ(w.Label16->text(), "1000");
    // The simulated CH0 input sits a few microvolts above zero.
    EXPECT_NEAR(w.Statistics(0).MeanMicrovolts, 4.0, 2.0);
    EXPECT_EQ(w.Series(0).Microvolts[999],
              static_cast<float>(CodeToMicrovolts(w.Series(0).Codes[999], 1)));
}

TEST(AppRun, EveryChannelChoiceEndsOnItsCount) {
    for (int channel = 0; channel < 3; ++channel) {
        RunFixture f({}, 14, 0, channel);  // 10417 sps, 100 samples
        f.Start();
        f.RunUntilIdle();
        const TFormMain& w = *f.window;
        EXPECT_EQ(w.Series(0).Count, channel == 1 ? 0 : 100);
        EXPECT_EQ(w.Series(1).Count, channel == 0 ? 0 : 100);
        EXPECT_EQ(w.HasData(0), channel != 1);
        EXPECT_EQ(w.HasData(1), channel != 0);
        EXPECT_EQ(w.StatisticsShowCh0(), channel != 1);
        const QString expected = channel == 1 ? "CH1 : " : "CH0 : ";
        EXPECT_TRUE(f.Panel(2).startsWith(expected)) << f.Panel(2).toStdString();
        if (channel != 0) {
            // The CH1 source sits at +1.25 V: its microvolts were converted, in both runs.
            EXPECT_NEAR(w.Statistics(1).MeanMicrovolts, 1250000.0, 100.0);
        }
    }
}

TEST(AppRun, IdentificationFailures) {
    struct Case {
        const char* name;
        BoardOptions options;
        std::string box;
    };
    BoardOptions silent;
    silent.fSilent = true;
    BoardOptions otherName;
    otherName.name = "OTHER";
    BoardOptions noVersion;
    noVersion.ngCommand = "V?";
    BoardOptions gone;
    gone.purgeFailsAt = 0;
    const std::vector<Case> cases = {
        {"silent board", silent, "SELKORAN が応答しませんでした"},
        {"other board", otherName, "SELKORAN が見つかりませんでした"},
        {"version refused", noVersion, "SELKORAN が応答しませんでした"},
        {"device unusable", gone, "SELKORAN が見つかりませんでした"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunFixture f(c.options);
        f.Start();
        ASSERT_EQ(f.prompts.boxes.size(), 1u);
        EXPECT_EQ(f.prompts.boxes[0].text, c.box);
        EXPECT_EQ(f.prompts.boxes[0].caption, "SELKORAN Board");
        EXPECT_EQ(f.Panel(0), kNotFound);  // whatever the cause, the start leaves this text
        EXPECT_EQ(f.window->MeasureBtn->text(), "測定開始");
        EXPECT_FALSE(f.window->BoardReady());
        EXPECT_FALSE(f.window->Measuring());
        EXPECT_EQ(f.EnabledControls(), RunFixture::All(true));
    }
}

TEST(AppRun, ConfigurationFailureKeepsThePreviousDataWithTheirSettings) {
    BoardOptions refusing;
    refusing.ngCommand = "F9";
    RunFixture f(refusing, 16, 0, 0);
    f.Start();
    f.RunUntilIdle();
    ASSERT_TRUE(f.window->HasData(0));
    const MeasureSettings measured = f.window->CurrentSettings();
    f.window->ComboBox1->setCurrentIndex(9);  // a rate this board refuses
    f.window->ComboBox3->setCurrentIndex(1);
    f.Start();
    const TFormMain& w = *f.window;
    EXPECT_TRUE(f.prompts.boxes.empty());
    EXPECT_EQ(f.Panel(0), "SELKORAN Board がエラーです");
    EXPECT_FALSE(w.BoardReady());
    EXPECT_FALSE(w.Measuring());
    EXPECT_TRUE(w.HasData(0));
    EXPECT_EQ(w.Series(0).Count, 100);
    EXPECT_EQ(w.CurrentSettings(), measured);
    EXPECT_EQ(f.EnabledControls(), RunFixture::All(true));

    // The CH0 data go on showing and saving as what they are.
    f.window->MenuY_Volt->trigger();
    EXPECT_TRUE(f.Panel(2).startsWith("CH0 : ") && f.Panel(2).contains("[uV]"));
    QTemporaryDir dir;
    f.prompts.fileAnswers.push_back(dir.filePath("kept").toStdString());
    f.window->Save1->trigger();
    QFile saved(dir.filePath("kept.DTA"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_TRUE(text.contains("spsSel:16\r\nDataCountSel:0\r\nCHSel:0\r\n"));
    EXPECT_EQ(text.count("\r\n"), 11 + 100);  // the fixed lines and every sample
}

TEST(AppRun, ReadFailureDiscardsTheRunButKeepsTheBoard) {
    BoardOptions options;
    options.lineFeedAt = 500;
    RunFixture f(options, 16, 3, 2);
    f.Start();
    f.RunUntilIdle();
    const TFormMain& w = *f.window;
    EXPECT_FALSE(w.Measuring());
    EXPECT_EQ(f.Panel(2), "計測エラーで終了");
    EXPECT_EQ(w.Series(0).Count, 0);
    EXPECT_EQ(w.Series(1).Count, 0);
    EXPECT_FALSE(w.HasData(0));
    EXPECT_TRUE(w.BoardReady());
    EXPECT_EQ(w.MeasureBtn->text(), "測定開始");
    EXPECT_TRUE(f.board.wire.ends_with("AX\r"));
}

// An unplugged board is let go: the next start looks for it anew instead of configuring a
// device that is gone.
TEST(AppRun, AnUnpluggedBoardIsIdentifiedAgainAtTheNextStart) {
    BoardOptions options;
    options.vanishAfter = 500;
    RunFixture f(options, 16, 3, 2);
    f.Start();
    f.RunUntilIdle();
    EXPECT_EQ(f.Panel(2), "計測エラーで終了");
    EXPECT_FALSE(f.window->BoardReady());
    f.Start();
    ASSERT_EQ(f.prompts.boxes.size(), 1u);
    EXPECT_EQ(f.prompts.boxes[0].text, "SELKORAN が見つかりませんでした");
}

TEST(AppRun, OperatorStopKeepsTenSamplesOrMore) {
    for (int kept : {9, 10}) {
        RunFixture f({}, 3, 3, 0);  // 10 sps: one sample per poll
        f.Start();
        while (f.window->Measuring()) {
            f.board.Advance(100ms);
            f.window->IdleHandler();
            if (f.Panel(2).startsWith(QString("データ番号：%1 ").arg(kept))) {
                break;
            }
        }
        ASSERT_TRUE(f.Panel(2).startsWith(QString("データ番号：%1 ").arg(kept)));
        f.window->MeasureBtn->click();
        const TFormMain& w = *f.window;
        EXPECT_EQ(f.Panel(1), "計測中止しました");
        EXPECT_FALSE(w.BoardReady());
        EXPECT_FALSE(w.Measuring());
        EXPECT_EQ(w.MeasureBtn->text(), "測定開始");
        EXPECT_TRUE(f.board.wire.ends_with("AX\r"));
        if (kept == 9) {
            EXPECT_FALSE(w.HasData(0));
            EXPECT_EQ(f.Panel(2), "");
        } else {
            EXPECT_TRUE(w.HasData(0));
            EXPECT_EQ(w.Series(0).Count, 10);
            EXPECT_TRUE(f.Panel(2).startsWith("CH0 : 最大値："));
        }
    }
}

TEST(AppRun, IdentifiesOnlyAfterAStop) {
    RunFixture f({}, 16, 0, 0);
    f.Start();
    f.RunUntilIdle();
    f.board.wire.clear();
    f.Start();  // ready: configuration only
    EXPECT_EQ(f.board.wire, "S5\rFX\rA000064\r");
    f.window->MeasureBtn->click();  // operator stop closes the board
    f.board.wire.clear();
    f.window->Sinc3_RB->setChecked(true);
    f.Start();
    EXPECT_EQ(f.board.wire, "?\rU?\rV?\rS3\rFX\rA000064\r");
}

TEST(AppRun, SlowLongRunsArePlottedInStretchesOfHundred) {
    struct Case {
        int rate;
        bool progressive;
    };
    for (const Case c : {Case{3, true}, Case{6, true}, Case{8, false}}) {
        RunFixture f({}, c.rate, 3, 0);  // 1000 samples
        f.Start();
        const auto poll = [&f] {
            f.board.Advance(30ms);
            f.window->IdleHandler();
        };
        const auto pollUntil = [&](int count) {
            while (f.window->Measuring() && f.window->Acquired() < count) {
                poll();
            }
            ASSERT_EQ(f.window->Acquired(), count);
        };
        pollUntil(99);
        EXPECT_EQ(f.window->Label16->text(), "1000");  // nothing drawn before sample 100
        pollUntil(100);
        EXPECT_EQ(f.window->Label16->text(), c.progressive ? "100" : "1000");
        pollUntil(200);
        EXPECT_EQ(f.window->Label15->text(), c.progressive ? "101" : "1");
        EXPECT_EQ(f.window->Label16->text(), c.progressive ? "200" : "1000");
    }
}

TEST(AppRun, ShortRunsAreNotPlottedWhileTheyGo) {
    RunFixture f({}, 3, 2, 0);  // 500 samples at 10 sps
    f.Start();
    while (f.window->Measuring() && !f.Panel(2).startsWith("データ番号：150 ")) {
        f.board.Advance(100ms);
        f.window->IdleHandler();
    }
    EXPECT_EQ(f.window->Label16->text(), "1000");
}

TEST(AppRun, ProgressShowsTheCodesOfTheRunsChannels) {
    const auto progressAtThree = [](int channel) {
        RunFixture f({}, 3, 3, channel);
        f.Start();
        while (f.window->Measuring() && !f.Panel(2).startsWith("データ番号：3 ")) {
            f.board.Advance(100ms);
            f.window->IdleHandler();
        }
        return f.Panel(2);
    };
    // CH0 sits near mid-scale, CH1 near three quarters.
    const QString ch1 = progressAtThree(1);
    EXPECT_TRUE(ch1.startsWith("データ番号：3 / AD変換値：125")) << ch1.toStdString();
    const QStringList parts = progressAtThree(2).split(" / ");
    ASSERT_EQ(parts.size(), 3) << parts.join(" / ").toStdString();
    EXPECT_TRUE(parts[1].startsWith("AD変換値：83886"));
    EXPECT_TRUE(parts[2].startsWith("125"));
}

TEST(AppRun, ProgressReadoutAtMostTenTimesASecond) {
    RunFixture f({}, 16, 5, 2);  // 31250 sps, 5000 samples, both channels: a block per 3.2 ms
    f.Start();
    std::vector<QString> shown;
    for (int look = 0; look < 22; ++look) {
        f.board.Advance(5ms);
        f.window->IdleHandler();
        shown.push_back(f.Panel(2).section(" / ", 0, 0));
    }
    // A block every 5 ms of the board's clock: the first shows at once, the next 19 fall
    // within its 100 ms, and the 21st, 100 ms after the first, shows the newest count.
    std::vector<QString> expected(20, "データ番号：100");
    expected.push_back("データ番号：2100");
    expected.push_back("データ番号：2100");
    EXPECT_EQ(shown, expected);
    f.RunUntilIdle();
    EXPECT_TRUE(f.Panel(2).startsWith("CH0 : 最大値：")) << f.Panel(2).toStdString();
}

TEST(AppRun, StopClickWhileTheFinishedRunIsDrawn) {
    RunFixture f({}, 16, 0, 0);
    f.Start();
    // The click arrives while the completed run's graph is being drawn.
    bool clicked = false;
    QTimer::singleShot(0, f.window, [&] {
        clicked = f.window->MeasureBtn->text() == "測定停止";
        f.window->MeasureBtn->click();
    });
    f.RunUntilIdle();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(f.window->MeasureBtn->text(), "測定開始");
    EXPECT_EQ(f.EnabledControls(), RunFixture::All(true));
    EXPECT_FALSE(f.window->BoardReady());  // the stop closed the board
    EXPECT_EQ(f.window->Series(0).Count, 100);
}

}  // namespace
