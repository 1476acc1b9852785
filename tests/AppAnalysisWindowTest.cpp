// SPDX-License-Identifier: GPL-3.0-or-later
// The noise analysis window as the operator meets it: opened from the menu, following runs,
// loads and clears, one channel at a time, its charts saved as pictures.

#include <gtest/gtest.h>

#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>

#include "AppTestSupport.h"
#include "NoiseAnalysisWindow.h"

namespace {

struct AnalysisFixture : WindowFixture {
    // Ctrl+A in the active main window.
    NoiseAnalysisWindow& Open() {
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_A, Qt::ControlModifier);
        if (window->AnalysisWindow() == nullptr) {
            throw std::runtime_error("Ctrl+A opened no analysis window");
        }
        return *window->AnalysisWindow();
    }
    void Load(const QByteArray& data) {
        const QString path = dir.filePath("run.DTA");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "AD7172_DataFile:\nM:\nspsSel:4\nDataCountSel:0\nCHSel:2\nGainSel:0\n"
            "fSinc5:0\nfBUF_ON:0\nMEND:\nD:\n" +
            data + "DEND:\n");
        file.close();
        prompts.fileAnswers.push_back(path.toStdString());
        window->Load1->trigger();
    }
    QStringList ChannelItems() {
        QStringList items;
        for (int i = 0; i < window->AnalysisWindow()->ChannelBox->count(); ++i) {
            items << window->AnalysisWindow()->ChannelBox->itemText(i);
        }
        return items;
    }
    QString Figure(int row, int column) {
        return window->AnalysisWindow()->FigureTable->item(row, column)->text();
    }

    QTemporaryDir dir;
};

TEST(AppAnalysisWindow, OpensOnCtrlAAndFollowsRunsAndClears) {
    AnalysisFixture f;
    NoiseAnalysisWindow& a = f.Open();
    EXPECT_TRUE(a.isVisible());
    EXPECT_FALSE(a.isModal());
    EXPECT_EQ(a.windowTitle(), "SELKORAN / ノイズ解析");
    EXPECT_EQ(a.NoticeText(), "データがありません");
    QStringList tabs;
    for (int i = 0; i < a.Tabs->count(); ++i) {
        tabs << a.Tabs->tabText(i);
    }
    EXPECT_EQ(tabs, QStringList({"数値", "ヒストグラム", "スペクトル", "アラン偏差"}));

    f.Measure(2);
    EXPECT_EQ(f.ChannelItems(), QStringList({"CH0", "CH1"}));
    ASSERT_NE(a.ShownAnalysis(), nullptr);
    EXPECT_EQ(a.ShownChannel(), 0);
    EXPECT_EQ(a.ShownAnalysis()->statistics.count, 100);
    EXPECT_EQ(f.Figure(0, 0), "サンプルレート");
    EXPECT_EQ(f.Figure(0, 1), "31250");
    EXPECT_EQ(f.Figure(0, 2), "Hz");
    // The same samples as the status bar's statistics, in double precision.
    EXPECT_NEAR(a.ShownAnalysis()->statistics.rmsMicrovolts,
                f.window->Statistics(0).MicrovoltStdDev, 1e-4);

    a.ChannelBox->setCurrentIndex(1);
    EXPECT_NEAR(a.ShownAnalysis()->statistics.meanMicrovolts,
                f.window->Statistics(1).MeanMicrovolts, 0.1);
    f.Measure(1);  // the chosen channel stays chosen
    EXPECT_EQ(f.ChannelItems(), QStringList({"CH1"}));
    EXPECT_EQ(a.ShownChannel(), 1);

    f.window->DataClear->trigger();
    EXPECT_EQ(a.NoticeText(), "データがありません");
    EXPECT_EQ(a.ShownChannel(), -1);
}

TEST(AppAnalysisWindow, FollowsLoadsIncludingTooShortAndBadFiles) {
    AnalysisFixture f;
    NoiseAnalysisWindow& a = f.Open();
    // CH0 alternates between two codes two apart; CH1 holds a ramp of whole codes.
    f.Load("8388608,8388608\n8388610,8388609\n8388608,8388610\n8388610,8388611\n");
    ASSERT_NE(a.ShownAnalysis(), nullptr);
    EXPECT_EQ(f.Figure(0, 1), "16.67");  // Sinc3 at rate index 4
    EXPECT_EQ(a.ShownAnalysis()->histogram.counts, (std::vector<std::int64_t>{2, 0, 2}));
    EXPECT_EQ(a.ShownAnalysis()->histogram.missingCodes, 1);
    a.ChannelBox->setCurrentIndex(1);
    EXPECT_EQ(a.ShownAnalysis()->histogram.missingCodes, 0);

    f.Load("8388608,8388608\n");
    EXPECT_EQ(a.NoticeText(), "データが2個未満のため解析できません");
    EXPECT_EQ(a.ShownChannel(), 1);

    f.prompts.fileAnswers.push_back(f.dir.filePath("missing.DTA").toStdString());
    f.window->Load1->trigger();
    EXPECT_EQ(a.NoticeText(), "データがありません");

    f.Load("8388608,8388608\n8388610,8388609\n");
    f.Load("");  // a file without samples holds no data either
    EXPECT_EQ(a.NoticeText(), "データがありません");
}

TEST(AppAnalysisWindow, SavesTheChartOnScreenAsPng) {
    AnalysisFixture f;
    NoiseAnalysisWindow& a = f.Open();
    f.Measure(0);
    EXPECT_FALSE(a.SaveImageBtn->isEnabled());  // the table is no chart
    a.Tabs->setCurrentIndex(2);
    ASSERT_TRUE(a.SaveImageBtn->isEnabled());

    f.prompts.fileAnswers.push_back(f.dir.filePath("spectrum").toStdString());
    a.SaveImageBtn->click();
    const QImage picture(f.dir.filePath("spectrum.png"));
    EXPECT_EQ(picture.size(), a.ChartViews[1]->size());
    EXPECT_EQ(f.prompts.fileDialogs.back().filter, "PNG 画像 (*.png)");

    // An existing picture is replaced only after a yes.
    f.prompts.fileAnswers.push_back(f.dir.filePath("spectrum.png").toStdString());
    f.prompts.yesNoAnswers.push_back(false);
    a.Tabs->setCurrentIndex(1);
    a.SaveImageBtn->click();
    ASSERT_EQ(f.prompts.questions.size(), 1u);
    EXPECT_EQ(QImage(f.dir.filePath("spectrum.png")), picture);

    f.prompts.fileAnswers.push_back(f.dir.filePath("no/such/folder/x.png").toStdString());
    a.SaveImageBtn->click();
    ASSERT_EQ(f.prompts.boxes.size(), 1u);
    EXPECT_EQ(f.prompts.boxes[0].text, "画像を保存できませんでした");
}

}  // namespace
