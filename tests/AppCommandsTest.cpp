// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "tests/AppTestSupport.h"
#include "tests/KnownTwoChannelFile.h"

namespace {

void WriteFile(const std::string& path, const std::string& text) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

struct CommandsFixture : WindowFixture {
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
    QByteArray Contents(const char* name) const {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};

TEST(AppCommands, SaveWithoutDataShowsOnlyTheBox) {
    CommandsFixture f;
    f.window->Save1->trigger();
    ASSERT_EQ(f.prompts.boxes.size(), 1u);
    EXPECT_EQ(f.prompts.boxes[0].text, "データがありません");
    EXPECT_TRUE(f.prompts.fileDialogs.empty());
}

TEST(AppCommands, SaveFollowsTheDataNotTheChannelBox) {
    CommandsFixture f;
    f.Measure(2);
    f.window->ComboBox3->setCurrentIndex(0);  // the box now shows one channel
    f.prompts.fileAnswers.push_back(f.Path("both"));
    f.window->Save1->trigger();
    ASSERT_EQ(f.prompts.fileDialogs.size(), 1u);
    EXPECT_TRUE(f.prompts.fileDialogs[0].save);
    EXPECT_EQ(f.prompts.fileDialogs[0].filter, "Data files (*.DTA)");
    EXPECT_EQ(f.prompts.fileDialogs[0].initialName, "*.DTA");
    const QByteArray text = f.Contents("both.DTA");
    EXPECT_TRUE(text.contains("CHSel:2\r\n"));
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_GT(lines.size(), 11);
    EXPECT_TRUE(lines[10].contains(','));  // two columns
    EXPECT_EQ(f.Panel(1), "データファイルを保存しました");
    EXPECT_EQ(f.window->windowTitle(),
              "SELKORAN / v1.10 : " + QString::fromStdString(f.Path("both.DTA")));
}

TEST(AppCommands, DeclinedOverwriteCountsAsSaved) {
    CommandsFixture f;
    f.Measure(0);
    {
        QFile existing(QString::fromStdString(f.Path("keep.DTA")));
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("precious");
    }
    f.prompts.fileAnswers.push_back(f.Path("keep.DTA"));
    f.prompts.yesNoAnswers.push_back(false);
    f.window->Save1->trigger();
    EXPECT_EQ(f.Contents("keep.DTA"), "precious");
    EXPECT_EQ(f.Panel(1), "データファイルを保存しました");
    EXPECT_TRUE(f.window->windowTitle().endsWith("keep.DTA"));
    EXPECT_TRUE(f.prompts.boxes.empty());
}

TEST(AppCommands, FailedSaveShowsTheBoxAndStillTheName) {
    CommandsFixture f;
    f.Measure(1);
    f.prompts.fileAnswers.push_back(f.Path("missing/folder/run"));
    f.window->Save1->trigger();
    ASSERT_EQ(f.prompts.boxes.size(), 1u);
    EXPECT_EQ(f.prompts.boxes[0].text, "データ保存できませんでした");
    EXPECT_TRUE(f.window->windowTitle().endsWith("missing/folder/run.DTA"));
    EXPECT_NE(f.Panel(1), "データファイルを保存しました");
}

TEST(AppCommands, CancelledDialogsDoNothing) {
    CommandsFixture f;
    f.Measure(0);
    const QString title = f.window->windowTitle();
    f.window->Save1->trigger();
    f.prompts.fileAnswers.push_back(std::string());
    f.window->Load1->trigger();
    f.window->Load1->trigger();
    EXPECT_EQ(f.prompts.fileDialogs.size(), 3u);
    EXPECT_EQ(f.window->windowTitle(), title);
    EXPECT_TRUE(f.window->HasData(0));
}

TEST(AppCommands, LoadShowsTheFileAsIfJustMeasured) {
    CommandsFixture f;
    f.Measure(2);
    f.prompts.fileAnswers.push_back(f.Path("two.DTA"));
    f.window->Save1->trigger();
    const std::vector<std::int32_t> ch1(f.window->Series(1).Codes, f.window->Series(1).Codes + 100);

    // Measure something else on CH0 alone, then load the two-channel file back.
    f.window->Sinc3_RB->setChecked(true);
    f.Measure(0);
    f.prompts.fileAnswers.push_back(f.Path("two.DTA"));
    f.window->Load1->trigger();
    const TFormMain& w = *f.window;
    EXPECT_EQ(f.prompts.fileDialogs.back().filter, "データファイル (*.DTA)");
    EXPECT_TRUE(w.HasData(0));
    EXPECT_TRUE(w.HasData(1));
    EXPECT_EQ(std::vector<std::int32_t>(w.Series(1).Codes, w.Series(1).Codes + 100), ch1);
    EXPECT_EQ(w.CurrentSettings().CHSel, 2);
    EXPECT_TRUE(w.CurrentSettings().fSinc5);
    EXPECT_EQ(w.ComboBox3->currentIndex(), 2);
    EXPECT_TRUE(w.Sinc5_RB->isChecked());
    EXPECT_FALSE(w.Sinc3_RB->isChecked());
    EXPECT_EQ(f.Panel(1), "データファイル読み込みました");
    EXPECT_TRUE(f.Panel(2).startsWith("CH0 : "));
    EXPECT_TRUE(w.windowTitle().endsWith("two.DTA"));

    // A click anywhere on the status bar switches to CH1 and back, as its tooltip says.
    EXPECT_EQ(w.StatusBar1->toolTip(), "クリックすると CH0 と CH1 の統計を切り替えます");
    QTest::mouseClick(TmyStatus::Panel(*w.StatusBar1, 2), Qt::LeftButton);
    EXPECT_TRUE(f.Panel(2).startsWith("CH1 : "));
    QTest::mouseClick(TmyStatus::Panel(*w.StatusBar1, 0), Qt::LeftButton);
    EXPECT_TRUE(f.Panel(2).startsWith("CH0 : "));
}

TEST(AppCommands, FailedLoadEmptiesTheWindow) {
    QTemporaryDir dir;
    const std::string bad = dir.filePath("bad.DTA").toStdString();
    const std::string pipe = dir.filePath("pipe.DTA").toStdString();
    WriteFile(bad, "not a data file\r\n");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // A device without an end and a pipe without a writer are refused before any read; a
    // reader that hung on them would end the test program here.
    alarm(20);
    for (const std::string& path : {bad, std::string("/dev/zero"), pipe}) {
        SCOPED_TRACE(path);
        CommandsFixture f;
        f.Measure(0);
        const MeasureSettings before = f.window->CurrentSettings();
        f.prompts.fileAnswers.push_back(path);
        f.window->Load1->trigger();
        const TFormMain& w = *f.window;
        ASSERT_EQ(f.prompts.boxes.size(), 1u);
        EXPECT_EQ(f.prompts.boxes[0].text, "データファイルの内容が正しくありませんでした");
        EXPECT_FALSE(w.HasData(0));
        EXPECT_EQ(w.Series(0).Count, 0);
        EXPECT_EQ(f.Panel(2), "");
        EXPECT_EQ(w.windowTitle(), "SELKORAN / v1.10");
        EXPECT_EQ(w.CurrentSettings(), before);
        EXPECT_EQ(w.Label1->text(), "8388608");  // the empty graph
    }
    alarm(0);
}

TEST(AppCommands, FileWithoutSamplesLoadsAsNoData) {
    CommandsFixture f;
    f.Measure(0);
    WriteFile(f.Path("empty.DTA"),
              "AD7172_DataFile:\r\nM:\r\nspsSel:5\r\nDataCountSel:1\r\nCHSel:2\r\n"
              "GainSel:0\r\nfSinc5:0\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\nDEND:\r\n");
    f.prompts.fileAnswers.push_back(f.Path("empty.DTA"));
    f.window->Load1->trigger();
    const TFormMain& w = *f.window;
    EXPECT_TRUE(f.prompts.boxes.empty());
    EXPECT_EQ(f.Panel(1), "データファイル読み込みました");
    EXPECT_EQ(f.Panel(2), "");
    EXPECT_EQ(w.ComboBox1->currentIndex(), 5);
    EXPECT_FALSE(w.HasData(0) || w.HasData(1));
    EXPECT_EQ(w.Label1->text(), "8388608");  // the empty graph
    f.window->Save1->trigger();
    ASSERT_EQ(f.prompts.boxes.size(), 1u);
    EXPECT_EQ(f.prompts.boxes[0].text, "データがありません");
}

// Each channel's line carries that channel's extremes and deviation, in the unit shown.
TEST(AppCommands, ReadoutOfEachChannelInEachUnit) {
    CommandsFixture f;
    WriteFile(f.Path("two.DTA"), kTwoChannels.toStdString());
    f.prompts.fileAnswers.push_back(f.Path("two.DTA"));
    f.window->Load1->trigger();
    EXPECT_EQ(f.Panel(2), kCh0Codes);
    f.window->StatusBar1Click();
    EXPECT_EQ(f.Panel(2), kCh1Codes);
    f.window->MenuY_Volt->trigger();  // the unit and, in two-channel data, the channel
    EXPECT_EQ(f.Panel(2), kCh0Volts);
    f.window->StatusBar1Click();
    EXPECT_EQ(f.Panel(2), kCh1Volts);
}

TEST(AppCommands, OneChannelFileOverTwoChannelData) {
    CommandsFixture f;
    f.Measure(0);
    f.prompts.fileAnswers.push_back(f.Path("one.DTA"));
    f.window->Save1->trigger();
    f.Measure(2);
    f.prompts.fileAnswers.push_back(f.Path("one.DTA"));
    f.window->Load1->trigger();
    EXPECT_EQ(f.window->Series(1).Count, 0);
    EXPECT_FALSE(f.window->HasData(1));
    const QString before = f.Panel(2);
    f.window->StatusBar1Click();
    EXPECT_EQ(f.Panel(2), before);
    EXPECT_EQ(f.window->StatusBar1->toolTip(), "");  // nothing to switch to
}

TEST(AppCommands, ClearLeavesStatusTitleAndSettings) {
    CommandsFixture f;
    f.Measure(0);
    const QString readout = f.Panel(2);
    f.window->DataClear->trigger();
    EXPECT_FALSE(f.window->HasData(0));
    EXPECT_EQ(f.window->Series(0).Count, 0);
    EXPECT_EQ(f.Panel(2), readout);
    EXPECT_EQ(f.window->Label16->text(), "1000");
}

TEST(AppCommands, UnitToggle) {
    CommandsFixture f;
    // Without data: the empty graph in microvolts, the status bar untouched.
    f.window->MenuY_Volt->trigger();
    EXPECT_TRUE(f.window->MenuY_Volt->isChecked());
    EXPECT_EQ(f.window->Label1->text(), "14.90");
    EXPECT_EQ(f.Panel(2), "");
    f.window->MenuY_Volt->trigger();
    EXPECT_EQ(f.window->Label1->text(), "8388608");

    f.Measure(0);
    EXPECT_TRUE(f.Panel(2).contains(" digit"));
    f.window->MenuY_Volt->trigger();
    EXPECT_TRUE(f.Panel(2).startsWith("CH0 : ") && f.Panel(2).contains("[uV]"));
}

TEST(AppCommands, UnitToggleAlternatesTheChannelOfTwoChannelData) {
    CommandsFixture f;
    f.Measure(2);
    EXPECT_TRUE(f.Panel(2).startsWith("CH0 : "));
    f.window->MenuY_Volt->trigger();
    EXPECT_TRUE(f.Panel(2).startsWith("CH1 : "));
    EXPECT_TRUE(f.Panel(2).contains("[uV]"));
    f.window->MenuY_Volt->trigger();
    EXPECT_TRUE(f.Panel(2).startsWith("CH0 : "));
    EXPECT_TRUE(f.Panel(2).contains("digit"));
}

}  // namespace
