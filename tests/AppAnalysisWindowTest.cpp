// SPDX-License-Identifier: GPL-3.0-or-later
// The noise analysis window as the operator meets it: opened from the menu, following runs,
// loads and clears, one channel at a time, its charts saved as pictures.

#include <gtest/gtest.h>

#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QProgressBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <stdexcept>

#include "analysis/DynamicFigureTable.h"
#include "app/NoiseAnalysisWindow.h"
#include "charts/PictureCaption.h"
#include "common/Codes.h"
#include "record/RecordingFormat.h"
#include "tests/AppTestSupport.h"

namespace {

struct AnalysisFixture : WindowFixture {
    explicit AnalysisFixture(BoardOptions options = {}) : WindowFixture(std::move(options)) {}

    // Ctrl+A in the active main window.
    NoiseAnalysisWindow& Open() {
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        if (window->AnalysisWindow() == nullptr) {
            throw std::runtime_error("Ctrl+A opened no analysis window");
        }
        return *window->AnalysisWindow();
    }
    // A two-channel file at rate index `spsSel` holding `data`.
    QString Write(const QString& name, const QByteArray& data, int spsSel = 4, int fSinc5 = 0) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("AD7172_DataFile:\nM:\nspsSel:%1\nDataCountSel:0\nCHSel:2\n"
                                  "GainSel:0\nfSinc5:%2\nfBUF_ON:0\nMEND:\nD:\n")
                       .arg(spsSel)
                       .arg(fSinc5)
                       .toLatin1() +
                   data + "DEND:\n");
        return file.fileName();
    }
    void Load(const QByteArray& data) {
        prompts.fileAnswers.push_back(Write("run.DTA", data).toStdString());
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
    // A recording is analysed on a thread of its own: its figures come through the event loop.
    void WaitForAnalysis() {
        QTRY_VERIFY_WITH_TIMEOUT(!window->AnalysisWindow()->Analysing(), 20000);
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
    EXPECT_EQ(tabs, QStringList({"数値", "ヒストグラム", "スペクトル", "アラン偏差", "FFT"}));

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

// A sine on CH0, none on CH1's 1.25 V: the figures of a sine stand under the noise figures,
// "—" with the reason where there is none, and the FFT tab marks the tones by their order.
TEST(AppAnalysisWindow, ShowsTheSineFiguresUnderTheNoiseFiguresAndTheFftMarked) {
    BoardOptions options;
    options.sine = {2000.0, 1000000.0, -70.0, -80.0};
    AnalysisFixture f(options);
    NoiseAnalysisWindow& a = f.Open();
    f.window->ComboBox1->setCurrentIndex(16);
    f.window->ComboBox2->setCurrentIndex(4);  // 2000 samples
    f.window->ComboBox3->setCurrentIndex(2);
    f.window->MeasureBtn->click();
    f.RunUntilIdle();
    ASSERT_NE(a.ShownAnalysis(), nullptr);
    const auto first = static_cast<int>(NoiseFigureTable::Rows(*a.ShownAnalysis()).size());
    EXPECT_EQ(f.Figure(first - 1, 0), "アラン偏差の最小値");
    EXPECT_EQ(f.Figure(first, 0), "FFT のデータ数");
    EXPECT_EQ(f.Figure(first, 1), "2000");
    EXPECT_EQ(f.Figure(first + 1, 0), "信号周波数");
    EXPECT_NEAR(f.Figure(first + 1, 1).toDouble(), 2000.0, 0.1);
    EXPECT_EQ(f.Figure(first + 1, 2), "Hz");
    EXPECT_EQ(f.Figure(first + 14, 0), "第2高調波");
    EXPECT_NEAR(f.Figure(first + 14, 1).toDouble(), -70.0, 0.3);
    EXPECT_EQ(f.Figure(first + 14, 2), "dBc");
    EXPECT_TRUE(f.Figure(first + 14, 3).startsWith("4000."))
        << f.Figure(first + 14, 3).toStdString();
    EXPECT_EQ(f.Figure(first + 15, 0), "第3高調波");
    EXPECT_NEAR(f.Figure(first + 15, 1).toDouble(), -80.0, 0.3);

    EXPECT_EQ(a.Tabs->tabText(4), "FFT");
    const QChart* fft = a.ChartViews[3]->chart();
    EXPECT_EQ(fft->title(), "CH0 FFT（Blackman-Harris 窓、2000 データ）");
    QStringList orders;
    for (QAbstractSeries* series : fft->series()) {
        if (const auto* mark = qobject_cast<QScatterSeries*>(series)) {
            orders << mark->pointLabelsFormat();
            EXPECT_TRUE(mark->pointLabelsVisible());
        }
    }
    ASSERT_GE(orders.size(), 3);
    EXPECT_EQ(orders.mid(0, 3), QStringList({"1", "2", "3"}));

    a.ChannelBox->setCurrentIndex(1);
    EXPECT_EQ(f.Figure(first + 1, 1), "—");
    EXPECT_EQ(f.Figure(first + 1, 3).toStdString(), DynamicFigureTable::kNoSineText);
    EXPECT_EQ(f.Figure(first + 4, 0), "SNR");
    EXPECT_EQ(f.Figure(first + 4, 1), "—");
    EXPECT_EQ(a.ChartViews[3]->chart()->title(), "CH1 FFT（正弦波が見つかりません）");
}

TEST(AppAnalysisWindow, FollowsLoadsIncludingTooShortAndBadFiles) {
    AnalysisFixture f;
    NoiseAnalysisWindow& a = f.Open();
    // CH0 alternates between two codes two apart; CH1 holds a ramp of whole codes.
    f.Load("8388608,8388608\n8388610,8388609\n8388608,8388610\n8388610,8388611\n");
    ASSERT_NE(a.ShownAnalysis(), nullptr);
    EXPECT_EQ(f.Figure(0, 1), "16.67");  // Sinc3 at rate index 4
    EXPECT_EQ(f.Figure(2, 1), "0.298");  // the mean, one code: microvolts to three decimals
    EXPECT_EQ(a.ShownAnalysis()->histogram.counts, (std::vector<std::int64_t>{2, 0, 2}));
    // Four samples expect too few hits in the empty code to call it missing.
    EXPECT_EQ(f.Figure(8, 0), "ミッシングコード");
    EXPECT_EQ(f.Figure(8, 1), "0");
    EXPECT_EQ(a.FigureNote->text(),
              "※ミッシングコード：正規分布なら5回以上出るはずなのに、一度も出なかったコードの数");
    a.ChannelBox->setCurrentIndex(1);

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
    const QImage picture =
        QImage(f.dir.filePath("spectrum.png")).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(f.prompts.fileDialogs.back().filter, "PNG 画像 (*.png)");
    // The chart as shown, and under it a line of caption text.
    const QSize chart = a.ChartViews[1]->size();
    ASSERT_EQ(picture.size(), chart + QSize(0, PictureCaption::LineHeight()));
    EXPECT_EQ(picture.copy(QRect(QPoint(0, 0), chart)),
              a.ChartViews[1]->grab().toImage().convertToFormat(QImage::Format_RGB32));

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

// "ファイルを開いて解析..." analyses a data file or a recording without touching the data on
// screen; a file that cannot be analysed says why in the window's box and keeps what is shown.
TEST(AppAnalysisWindow, AnalysesAnyFileChosenFromTheMenu) {
    AnalysisFixture f;
    f.Measure(0);
    const MeasureSettings shown = f.window->CurrentSettings();
    const QString data =
        f.Write("two.DTA", "8388608,12582912\n8388610,12582912\n8388608,12582913\n", 13, 1);
    const std::string recording = f.dir.filePath("long.csv").toStdString();
    std::ofstream file(recording);
    file << RecordingFormat::HeaderText({"SELKORAN", "1.0", 4, 1, false, 200, {}});
    for (std::int64_t i = 1; i <= 200; ++i) {
        char row[RecordingFormat::kMaxRowLength];
        const RecordingFormat::Cell cell{kMidScaleCode + static_cast<std::int32_t>(i % 7), 0.0F};
        file << std::string(row, RecordingFormat::AppendRow(row, i, {&cell, 1}));
    }
    file.close();

    f.prompts.fileAnswers.push_back(data.toStdString());
    f.window->AnalyseFile1->trigger();
    EXPECT_EQ(f.prompts.fileDialogs.back().filter, "データファイル (*.DTA *.csv *.h5 *.hdf5)");
    NoiseAnalysisWindow& a = *f.window->AnalysisWindow();
    EXPECT_EQ(a.windowTitle(), "SELKORAN / ノイズ解析 : " + data);
    EXPECT_EQ(f.ChannelItems(), QStringList({"CH0", "CH1"}));
    a.ChannelBox->setCurrentIndex(1);
    ASSERT_NE(a.ShownAnalysis(), nullptr);
    EXPECT_EQ(a.ShownAnalysis()->statistics.count, 3);
    EXPECT_EQ(f.Figure(2, 1), "1250000.248");       // a third of a code above 4194304 codes
    EXPECT_EQ(f.window->CurrentSettings(), shown);  // the main window keeps its run

    f.prompts.fileAnswers.push_back(recording);
    f.window->AnalyseFile1->trigger();
    f.WaitForAnalysis();
    EXPECT_EQ(f.ChannelItems(), QStringList({"CH1"}));
    EXPECT_EQ(f.Figure(1, 1), "200");
    EXPECT_EQ(f.Figure(0, 1), "16.67");

    f.Write("bad.DTA", "8388608,x\n");
    std::ofstream(f.dir.filePath("cut.DTA").toStdString())
        << "AD7172_DataFile:\nM:\nspsSel:3\nDataCountSel:0\nCHSel:0\nGainSel:0\nfSinc5:1\n"
           "fBUF_ON:0\nMEND:\nD:\n8388608\n";
    std::ofstream(f.dir.filePath("old.csv").toStdString())
        << "sample,ch0_code,ch0_microvolts\n1,8388608,0\n2,8388609,0.3\n";
    std::ofstream(f.dir.filePath("notes.csv").toStdString()) << "sample,ch0_code\n1,hello\n";
    // Every failure names the file and the reason, as the command line does.
    const QString badText = "データファイルの内容が正しくありませんでした";
    const std::pair<QString, QString> failures[] = {
        {"missing.DTA", badText + "：%1（ファイルまたはフォルダがありません）"},
        {"", badText + "：%1（フォルダです）"},
        {"bad.DTA", badText + "：%1（11 行目が正しくありません）"},
        {"cut.DTA", badText + "：%1（11 行目で途切れています）"},
        {"notes.csv", badText + "：%1（表として読めない行があります）"},
        {"old.csv", "サンプルレートがわかりません：%1（表にサンプルレートの # 行がありません）"},
    };
    for (const auto& [name, text] : failures) {
        const QString path = f.dir.filePath(name);
        f.prompts.fileAnswers.push_back(path.toStdString());
        f.window->AnalyseFile1->trigger();
        f.WaitForAnalysis();
        ASSERT_FALSE(f.prompts.boxes.empty());
        EXPECT_EQ(f.prompts.boxes.back().text, text.arg(path).toStdString());
        EXPECT_EQ(f.Figure(1, 1), "200");  // the recording stays shown
    }
}

}  // namespace

namespace {

// A one-channel recording at 31250 per second of `count` rows, long enough to take a while.
std::string LongRecording(const QTemporaryDir& dir, std::int64_t count) {
    const std::string path = dir.filePath("hour.csv").toStdString();
    std::ofstream file(path);
    file << RecordingFormat::HeaderText({"SELKORAN", "1.0", 16, 0, false, count, {}});
    for (std::int64_t i = 1; i <= count; ++i) {
        char row[RecordingFormat::kMaxRowLength];
        const RecordingFormat::Cell cell{kMidScaleCode + static_cast<std::int32_t>(i * 7 % 23),
                                         0.0F};
        file << std::string(row, RecordingFormat::AppendRow(row, i, {&cell, 1}));
    }
    return path;
}

}  // namespace

// A recording is analysed while the window goes on handling events (the analysis has begun and
// not ended when the choice returns): its progress and "中止"
// stand in place of the tabs, and stopping brings back what was shown; a window closed
// meanwhile stops the analysis rather than crashing.
TEST(AppAnalysisWindow, ARecordingIsAnalysedInTheBackgroundAndCanBeStopped) {
    AnalysisFixture f;
    f.Measure(0);
    NoiseAnalysisWindow& a = f.Open();
    const QString shownCount = f.Figure(1, 1);
    const std::string recording = LongRecording(f.dir, 600000);
    const auto choose = [&f, &recording] {
        f.prompts.fileAnswers.push_back(recording);
        f.window->AnalyseFile1->trigger();
    };

    choose();
    ASSERT_TRUE(a.Analysing());
    EXPECT_TRUE(a.CancelBtn->isVisible());
    EXPECT_EQ(a.CancelBtn->text(), "中止");
    EXPECT_TRUE(a.AnalysisBar->isVisible());
    EXPECT_FALSE(a.ChannelBox->isEnabled());
    EXPECT_FALSE(a.SaveImageBtn->isEnabled());
    QTest::mouseClick(a.CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(a.Analysing());
    EXPECT_FALSE(a.AnalysisBar->isVisible());
    EXPECT_TRUE(a.ChannelBox->isEnabled());
    EXPECT_EQ(f.Figure(1, 1), shownCount);  // the run's figures, as before
    EXPECT_TRUE(f.prompts.boxes.empty());

    // Run to its end: the figures replace the run's.
    choose();
    QTRY_VERIFY_WITH_TIMEOUT(!a.Analysing(), 20000);
    ASSERT_NE(a.ShownAnalysis(), nullptr);
    EXPECT_EQ(a.ShownAnalysis()->statistics.count, 600000);
    EXPECT_EQ(a.windowTitle(), "SELKORAN / ノイズ解析 : " + QString::fromStdString(recording));

    // Closed while it analyses.
    {
        NoiseAnalysisWindow alone(f.prompts, nullptr);
        alone.ShowRecording(QString::fromStdString(recording));
        EXPECT_TRUE(alone.Analysing());
    }
}
