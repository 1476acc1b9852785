// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>

#include "charts/GraphPanel.h"
#include "charts/WindowFont.h"
#include "tests/AppTestSupport.h"

namespace {

TEST(AppWindow, ControlsSitWhereTheLayoutPutsThem) {
    WindowFixture f;
    TFormMain& w = *f.window;
    EXPECT_EQ(w.centralWidget()->size(), QSize(792, 458));
    struct Case {
        QWidget* widget;
        QRect rect;
    };
    const std::vector<Case> cases = {
        {w.PaintBox1, {72, 24, 560, 369}},   {w.Label12, {664, 68, 47, 13}},
        {w.Label13, {664, 112, 47, 13}},     {w.Label14, {664, 24, 63, 12}},
        {w.Panel2, {656, 184, 113, 52}},     {w.Sinc3_RB, {8, 8, 89, 17}},
        {w.Sinc5_RB, {8, 29, 97, 17}},       {w.ComboBox1, {656, 40, 113, 20}},
        {w.ComboBox2, {656, 84, 113, 20}},   {w.ComboBox3, {656, 128, 113, 20}},
        {w.MeasureBtn, {656, 342, 113, 33}}, {w.QuitBtn, {656, 376, 113, 33}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.widget->geometry(), c.rect) << c.widget->metaObject()->className();
    }
    // After the first idle call the status bar is 20 high and flush with the bottom.
    EXPECT_EQ(w.StatusBar1->geometry(), QRect(0, 438, 792, 20));
}

TEST(AppWindow, CaptionsItemsAndDefaults) {
    WindowFixture f;
    TFormMain& w = *f.window;
    EXPECT_EQ(w.windowTitle(), "SELKORAN / v1.10");
    EXPECT_TRUE(QGuiApplication::applicationDisplayName() == QGuiApplication::applicationName());
    EXPECT_EQ(w.MeasureBtn->text(), "測定開始");
    EXPECT_EQ(w.QuitBtn->text(), "終了");
    EXPECT_EQ(w.Label12->text(), "データ数");
    EXPECT_EQ(w.Label13->text(), "測定 CH");
    EXPECT_EQ(w.Label14->text(), "データレート");
    EXPECT_EQ(w.Label12->font().pixelSize(), 13);
    EXPECT_EQ(w.Label14->font().pixelSize(), 12);
    EXPECT_EQ(w.font().family(), "ＭＳ Ｐゴシック");
    EXPECT_EQ(w.Sinc3_RB->text(), "Sinc3");
    EXPECT_EQ(w.Sinc5_RB->text(), "Sinc5+Sinc1");
    EXPECT_FALSE(w.Sinc3_RB->isChecked());
    EXPECT_TRUE(w.Sinc5_RB->isChecked());

    ASSERT_EQ(w.ComboBox1->count(), 17);
    EXPECT_EQ(w.ComboBox1->itemText(0), "1.25sps");
    EXPECT_EQ(w.ComboBox1->itemText(4), "16.63sps/16.67sps");
    EXPECT_EQ(w.ComboBox1->itemText(16), "31250sps");
    EXPECT_EQ(w.ComboBox1->currentText(), "10sps");
    EXPECT_EQ(w.ComboBox2->currentText(), "1000");
    EXPECT_EQ(w.ComboBox3->currentText(), "CH0 (Ain0-Ain1)");
    EXPECT_EQ(w.ComboBox3->itemText(2), "CH0 + CH1");
    for (QComboBox* box : {w.ComboBox1, w.ComboBox2, w.ComboBox3}) {
        EXPECT_FALSE(box->isEditable());  // pick-only: a start always has a valid choice
        // Every item whole in the box's laid-out width ("16.63sps/16.67sps" of 113 pixels),
        // at the window font's height.
        QStyleOptionComboBox option;
        option.initFrom(box);
        const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                         QStyle::SC_ComboBoxEditField, box);
        EXPECT_EQ(box->font().pixelSize(), 12);
        for (int i = 0; i < box->count(); ++i) {
            EXPECT_LE(QFontMetrics(box->font()).horizontalAdvance(box->itemText(i)),
                      field.width() - 4)
                << box->itemText(i).toStdString();
        }
    }
    EXPECT_EQ(w.CurrentSettings(), MeasureSettings{});
}

TEST(AppWindow, Menus) {
    WindowFixture f;
    TFormMain& w = *f.window;
    const auto menus = w.menuBar()->actions();
    ASSERT_EQ(menus.size(), 4);
    EXPECT_EQ(menus[0]->text(), "ファイル(&F)");
    EXPECT_EQ(menus[1]->text(), "データ(&D)");
    EXPECT_EQ(menus[2]->text(), "Y軸表示");
    EXPECT_EQ(menus[3]->text(), "解析");
    EXPECT_EQ(w.Analysis1->actions(),
              (QList<QAction*>{w.NoiseAnalysis1, w.AnalyseFile1, w.LongRecording1}));
    EXPECT_EQ(w.AnalyseFile1->text(), "ファイルを開いて解析...");
    EXPECT_EQ(w.LongRecording1->text(), "長時間記録...");
    EXPECT_EQ(w.NoiseAnalysis1->text(), "ノイズ解析...");
    EXPECT_EQ(w.NoiseAnalysis1->shortcut(), QKeySequence("Ctrl+A"));
    EXPECT_EQ(w.Exit1->text(), "終了(&X)");
    QStringList dataItems;
    for (QAction* a : w.Data1->actions()) {
        dataItems << a->text();
    }
    EXPECT_EQ(dataItems, QStringList({"保存(&S)", "読込み(&O)", "---", "クリア"}));
    EXPECT_EQ(w.MenuY_Volt->text(), "電圧値");
    EXPECT_TRUE(w.MenuY_Volt->isCheckable());
    EXPECT_FALSE(w.MenuY_Volt->isChecked());
}

TEST(AppWindow, TabOrder) {
    WindowFixture f;
    TFormMain& w = *f.window;
    std::vector<QWidget*> order;
    QWidget* next = w.Sinc3_RB;
    for (int i = 0; i < 7; ++i) {
        order.push_back(next);
        next = next->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus || !next->isVisible()) {
            next = next->nextInFocusChain();
        }
    }
    const std::vector<QWidget*> expected = {w.Sinc3_RB,   w.Sinc5_RB, w.ComboBox1, w.ComboBox2,
                                            w.MeasureBtn, w.QuitBtn,  w.ComboBox3};
    EXPECT_EQ(order, expected);
}

TEST(AppWindow, FirstIdleDrawsTheEmptyGraphAndThenTheWindowRests) {
    WindowFixture f;
    TFormMain& w = *f.window;
    EXPECT_EQ(w.Label1->text(), "8388608");
    EXPECT_EQ(w.Label11->text(), "8388508");
    EXPECT_EQ(w.Label15->text(), "1");
    EXPECT_EQ(w.Label16->text(), "1000");
    EXPECT_EQ(w.focusWidget(), w.MeasureBtn);
    EXPECT_FALSE(w.IdleWorkPending());  // an idle window runs no timer
}

TEST(AppWindow, FailedCreationShowsTheFatalMessage) {
    TestApplication();
    struct Case {
        QString failing;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"Z_Message", "致命的なメモリエラーです:Z_Message"},
        {"myStatus", "致命的なメモリエラーです:myStatus"},
        {"AD7172", "致命的なメモリエラーです:AD7172"},
        {"FILE", "致命的なメモリエラーです:FILE"},
        {"TGraph_2CH", "致命的なメモリエラーです:TGraph_2CH"},
    };
    for (const auto& c : cases) {
        FakePrompts prompts;
        TestBoard board;
        Program program(board, prompts, board.Timing(), c.failing);
        EXPECT_FALSE(program.Constructed());
        ASSERT_EQ(prompts.boxes.size(), 1u);
        EXPECT_EQ(prompts.boxes[0].caption, "SELKORAN Board");
        EXPECT_EQ(prompts.boxes[0].text, c.text);
        EXPECT_EQ(prompts.boxes[0].icon, PromptIcon::Error);
    }
}

TEST(AppWindow, FixedBorderWithSystemMenuAndCloseButtonOnly) {
    WindowFixture f;
    const Qt::WindowFlags flags = f.window->windowFlags();
    EXPECT_TRUE(flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowSystemMenuHint |
                                Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint));
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

// Loads data whose scales give the widest axis texts and looks at the drawn window: the
// column left of the paint box and the box's own frame column keep the background.
TEST(AppWindow, AxisLabelsLeaveTheGraphFrameAlone) {
    WindowFixture f;
    TFormMain& w = *f.window;
    // Eight-digit codes fit between their column, 50 pixels left of the box, and the frame.
    EXPECT_LE(QFontMetrics(w.Label1->font()).horizontalAdvance("16777215"), 48);
    QTemporaryDir dir;
    const QRect box = w.PaintBox1->geometry();
    const std::pair<QByteArray, bool> cases[] = {
        {"0\n16777215\n", false},           // 19000000 down to -1000000
        {"-99999999\n-99999990\n", false},  // a file edited by hand: nine-character codes
        {"7717521\n7717521\n", true},       // about -200 mV: millivolts with five decimals
    };
    for (const auto& [codes, fVolt] : cases) {
        SCOPED_TRACE(codes.toStdString());
        QFile file(dir.filePath("labels.DTA"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "AD7172_DataFile:\nM:\nspsSel:3\nDataCountSel:0\nCHSel:0\nGainSel:0\n"
            "fSinc5:1\nfBUF_ON:0\nMEND:\nD:\n" +
            codes + "DEND:\n");
        file.close();
        f.prompts.fileAnswers.push_back(file.fileName().toStdString());
        w.Load1->trigger();
        if (w.MenuY_Volt->isChecked() != fVolt) {
            w.MenuY_Volt->trigger();
        }
        const QImage client = w.centralWidget()->grab().toImage();
        for (int y = box.top() - 8; y <= box.bottom(); ++y) {
            EXPECT_EQ(client.pixel(box.left() - 1, y), client.pixel(2, 2)) << "row " << y;
            EXPECT_EQ(client.pixel(box.left(), y), client.pixel(2, 2)) << "row " << y;
        }
        EXPECT_GE(w.Label1->geometry().right(), box.left() - 4);  // the labels end close by
    }
}

// The window's graph area, left of the settings and above the status bar, is what the graph
// panel shows on any parent with the window's font, as the command line's picture draws it:
// the same pixels, axis labels included.
TEST(AppWindow, GraphAreaIsTheGraphPanelAsPicturesDrawIt) {
    WindowFixture f;
    f.Measure(2);
    TFormMain& w = *f.window;
    QWidget area;
    area.setFont(WindowFont(12));
    area.setFixedSize(656, 433);
    GraphPanel panel(area);
    ChannelSeries ch0 = w.Series(0);
    ChannelSeries ch1 = w.Series(1);
    MeasureSettings settings = w.CurrentSettings();
    TGraph_2CH graph(panel.Box(), &ch0, &panel.YLabels(), &panel.XLabels(), &settings, &ch1);
    panel.Box()->OnPaint = [&graph](QPainter& painter) { graph.PaintToScreen(painter); };
    graph.DrawAll(false);
    const auto pixels = [](const QPixmap& grab) {
        return grab.toImage().convertToFormat(QImage::Format_RGB32);
    };
    EXPECT_EQ(pixels(area.grab()), pixels(w.centralWidget()->grab({0, 0, 656, 433})));
}

TEST(AppWindow, DataExtensionRule) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"run1", "run1.DTA"},         {"run1.DTA", "run1.DTA"},       {"run1.txt", "run1.txt.DTA"},
        {"run1.dta", "run1.dta.DTA"}, {"/a.b/run1", "/a.b/run1.DTA"}, {".DTA", ".DTA"},
        {"a.b", "a.b.DTA"},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(TFormMain::WithDataExtension(name), expected) << name.toStdString();
    }
}

TEST(AppWindow, IconIsTheInstalledPicture) {
    WindowFixture f;
    const QImage installed(SELKORAN_BUILD_DIR "/app/selkoran.png");
    ASSERT_EQ(installed.size(), QSize(32, 32));
    const QImage shown = f.window->windowIcon().pixmap(32, 32).toImage();
    // Premultiplied on both sides: the icon is kept premultiplied, and converting back would
    // round its translucent edge.
    EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
              installed.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

}  // namespace
