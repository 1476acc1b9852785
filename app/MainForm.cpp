// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainForm.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <array>
#include <initializer_list>

#include "app/AnchorLayout.h"
#include "app/SettingItems.h"
#include "charts/GraphPanel.h"
#include "charts/PaintBox.h"
#include "charts/WindowFont.h"
#include "graph/Graph_2ch.h"
#include "status/Mystatus.h"

namespace {

using A = AnchorLayout;

const QStringList kCountItems = {"100", "200", "500", "1000", "2000", "5000", "10000"};

// Narrowest the box's font is condensed to; its height stays the window's.
constexpr int kNarrowestStretch = 60;
constexpr int kStretchStep = 5;

// Every item whole within the box's laid-out width ("16.63sps/16.67sps", "CH0 (Ain0-Ain1)"):
// the box's font is condensed as far as the widest item needs, nothing else changes.
void FitItems(QComboBox& box, int width) {
    const QComboBox::SizeAdjustPolicy policy = box.sizeAdjustPolicy();
    box.setSizeAdjustPolicy(QComboBox::AdjustToContents);
    QFont font = box.font();
    for (int stretch = QFont::Unstretched;
         box.sizeHint().width() > width && stretch > kNarrowestStretch;) {
        stretch -= kStretchStep;
        font.setStretch(stretch);
        box.setFont(font);
    }
    box.setSizeAdjustPolicy(policy);
}

QIcon WindowIcon() {
    // The desktop's icon, built into the program.
    return QIcon(QStringLiteral(":/selkoran.png"));
}

}  // namespace

MainForm::MainForm() = default;
MainForm::~MainForm() = default;

void MainForm::SetupUi(QMainWindow& mainWindow) {
    window = &mainWindow;
    // A fixed single border with the system menu and the close button only.
    mainWindow.setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint |
                              Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    mainWindow.setFont(WindowFont(12));
    mainWindow.setWindowIcon(WindowIcon());
    client = new QWidget(&mainWindow);
    mainWindow.setCentralWidget(client);
    anchors = std::make_unique<AnchorLayout>(QSize(kClientWidth, kClientHeight));
    SetupGraph();
    SetupSettings();

    MeasureBtn = new QPushButton(kStartCaption, client);
    anchors->Add(MeasureBtn, {656, 342, 113, 33}, A::Right | A::Bottom);
    QuitBtn = new QPushButton("終了", client);
    anchors->Add(QuitBtn, {656, 376, 113, 33}, A::Right | A::Bottom);
    StatusBar1 = new QStatusBar(client);
    StatusBar1->setSizeGripEnabled(false);
    TmyStatus::CreatePanels(*StatusBar1);
    anchors->Add(StatusBar1, {0, 433, kClientWidth, 25}, A::Left | A::Right | A::Bottom);

    QWidget::setTabOrder(Sinc3_RB, Sinc5_RB);
    QWidget::setTabOrder(Sinc5_RB, ComboBox1);
    QWidget::setTabOrder(ComboBox1, ComboBox2);
    QWidget::setTabOrder(ComboBox2, MeasureBtn);
    QWidget::setTabOrder(MeasureBtn, QuitBtn);
    QWidget::setTabOrder(QuitBtn, ComboBox3);

    SetupMenus(mainWindow);
    client->setFixedSize(kClientWidth, kClientHeight);
    mainWindow.setFixedSize(kClientWidth,
                            kClientHeight + mainWindow.menuBar()->sizeHint().height());
    client->setMinimumSize(0, 0);
    client->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    mainWindow.move(359, 187);
}

void MainForm::ApplyAnchors() {
    if (anchors && client) {
        anchors->Apply(client->size());
    }
}

void MainForm::SetDefaultControls() {
    MeasureBtn->setText(kStartCaption);
    ComboBox1->setCurrentIndex(3);
    ComboBox2->setCurrentIndex(3);
    ComboBox3->setCurrentIndex(0);
    Sinc3_RB->setChecked(false);
    Sinc5_RB->setChecked(true);
}

void MainForm::SetControlsEnabled(bool enabled, bool fMeasureAllowed) {
    for (QMenu* menu : {File1, Data1, MenuY, Analysis1}) {
        menu->menuAction()->setEnabled(enabled);
    }
    NoiseAnalysis1->setEnabled(enabled);  // its shortcut works even while the menu is disabled
    LongRecording1->setEnabled(enabled);
    for (QWidget* control : std::initializer_list<QWidget*>{ComboBox1, ComboBox2, ComboBox3,
                                                            Sinc3_RB, Sinc5_RB, QuitBtn}) {
        control->setEnabled(enabled);
    }
    MeasureBtn->setEnabled(enabled && fMeasureAllowed);
}

MeasureSettings MainForm::ReadSettingsFromControls(const MeasureSettings& base) const {
    MeasureSettings next = base;
    next.spsSel = ComboBox1->currentIndex();
    next.DataCountSel = ComboBox2->currentIndex();
    next.CHSel = ComboBox3->currentIndex();
    next.fSinc5 = !Sinc3_RB->isChecked();
    return next;
}

void MainForm::ShowSettingsInControls(const MeasureSettings& settings) {
    ComboBox1->setCurrentIndex(settings.spsSel);
    ComboBox2->setCurrentIndex(settings.DataCountSel);
    ComboBox3->setCurrentIndex(settings.CHSel);
    Sinc3_RB->setChecked(!settings.fSinc5);
    Sinc5_RB->setChecked(settings.fSinc5);
}

void MainForm::RelayoutStatusBar() {
    const int height = 20;
    StatusBar1->setGeometry(0, client->height() - kBorderWidth - height, client->width(), height);
    TmyStatus::KeepPanelHeights(*StatusBar1);
}

void MainForm::UpdateTitle(const QString& fileName) {
    QString title = QStringLiteral("SELKORAN / v1.10");
    if (!fileName.isEmpty()) {
        title += " : " + fileName;
    }
    window->setWindowTitle(title);
}

bool MainForm::VoltMode() const {
    return MenuY_Volt->isChecked();
}

QLabel* MainForm::AddLabel(const QString& text, QRect design, int anchorSet) {
    auto* label = new QLabel(text, client);
    anchors->Add(label, design, anchorSet);
    return label;
}

void MainForm::SetupGraph() {
    graphPanel = std::make_unique<GraphPanel>(*client);
    PaintBox1 = graphPanel->Box();
    anchors->Add(PaintBox1, GraphPanel::kPaintBox, A::Left | A::Top | A::Right | A::Bottom);
    std::array<QLabel**, TGraph_2CH::kYLabelCount> axis = {&Label1, &Label2,  &Label3, &Label4,
                                                           &Label5, &Label6,  &Label7, &Label8,
                                                           &Label9, &Label10, &Label11};
    for (std::size_t i = 0; i < axis.size(); ++i) {
        *axis[i] = graphPanel->YLabels()[i];
        anchors->Add(*axis[i], GraphPanel::YLabelDesign(i), A::Left);
    }
    Label15 = graphPanel->XLabels()[0];
    Label16 = graphPanel->XLabels()[1];
    anchors->Add(Label15, GraphPanel::kXLabels[0], A::Left | A::Bottom);
    anchors->Add(Label16, GraphPanel::kXLabels[1], A::Right | A::Bottom);
}

void MainForm::SetupSettings() {
    Label12 = AddLabel("データ数", {664, 68, 47, 13}, A::Top | A::Right);
    Label13 = AddLabel("測定 CH", {664, 112, 47, 13}, A::Top | A::Right);
    Label12->setFont(WindowFont(13));
    Label13->setFont(WindowFont(13));
    Label14 = AddLabel("データレート", {664, 24, 63, 12}, A::Top | A::Right);

    Panel2 = new QFrame(client);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    anchors->Add(Panel2, {656, 184, 113, 52}, A::Top | A::Right);
    Sinc3_RB = new QRadioButton("Sinc3", Panel2);
    Sinc3_RB->setGeometry(8, 8, 89, 17);
    Sinc5_RB = new QRadioButton("Sinc5+Sinc1", Panel2);
    Sinc5_RB->setGeometry(8, 29, 97, 17);

    const auto addCombo = [this](const QStringList& items, QRect design) {
        auto* box = new QComboBox(client);
        box->addItems(items);
        box->setMaxVisibleItems(static_cast<int>(items.size()));
        FitItems(*box, design.width());
        anchors->Add(box, design, A::Top | A::Right);
        return box;
    };
    ComboBox1 = addCombo(SettingItems::kRates, {656, 40, 113, 20});
    ComboBox2 = addCombo(kCountItems, {656, 84, 113, 20});
    ComboBox3 = addCombo(SettingItems::kChannels, {656, 128, 113, 20});
}

void MainForm::SetupMenus(QMainWindow& mainWindow) {
    QMenuBar* bar = mainWindow.menuBar();
    File1 = bar->addMenu("ファイル(&F)");
    Exit1 = File1->addAction("終了(&X)");
    Data1 = bar->addMenu("データ(&D)");
    Save1 = Data1->addAction("保存(&S)");
    Load1 = Data1->addAction("読込み(&O)");
    N1 = Data1->addAction("---");  // a plain item between the file items and the clear item
    DataClear = Data1->addAction("クリア");
    MenuY = bar->addMenu("Y軸表示");
    MenuY_Volt = MenuY->addAction("電圧値");
    MenuY_Volt->setCheckable(true);
    MenuY_Volt->setChecked(false);
    Analysis1 = bar->addMenu("解析");
    NoiseAnalysis1 = Analysis1->addAction("ノイズ解析...");
    NoiseAnalysis1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    AnalyseFile1 = Analysis1->addAction("ファイルを開いて解析...");
    LongRecording1 = Analysis1->addAction("長時間記録...");
}
