// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Selkoran_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

#include "app/AnchorLayout.h"
#include "app/Creation.h"
#include "app/RecordingWindow.h"
#include "app/SettingItems.h"
#include "charts/GraphPanel.h"
#include "charts/PaintBox.h"
#include "charts/WindowFont.h"
#include "common/Prompts.h"
#include "datafile/Myfile.h"
#include "messages/Mymessage.h"
#include "status/Mystatus.h"

namespace {

using A = AnchorLayout;

const QString kProgramName = QStringLiteral("SELKORAN");
const QString kVersion = QStringLiteral("v1.10");
const char* const kBoxCaption = "SELKORAN Board";

const QStringList kCountItems = {"100", "200", "500", "1000", "2000", "5000", "10000"};

QIcon WindowIcon() {
    // The desktop's icon, built into the program.
    return QIcon(QStringLiteral(":/selkoran.png"));
}

}  // namespace

LinkTiming TFormMain::WindowTiming() {
    return {[] { return LinkTiming::Clock::now(); }, &RunWake::WaitInEventLoop};
}

TFormMain::TFormMain(Acquisition& acquisition, Measurement& measurement, Prompts& windowPrompts,
                     std::function<LinkTiming::Clock::time_point()> now,
                     const QString& failCreating)
    : engine(acquisition),
      data(measurement),
      prompts(windowPrompts),
      clockNow(now),
      progressReadout(now, [this] { ShowProgressReadout(); }) {
    runView.onBegin = [this](const AcquisitionInfo&) { RunBegun(); };
    runView.onTake = [this](const SampleBlock&) { BlockTaken(); };
    runView.onEnd = [this](AcquisitionOutcome outcome) { RunEnded(outcome); };
    BuildLayout();
    try {
        CreateServices(failCreating);
    } catch (const CreationFailed& failure) {
        if (Messages) {
            Messages->FatalMemoryError(failure.objectName);
        } else {
            prompts.ShowMessage(kBoxCaption, "致命的なメモリエラーです:Z_Message",
                                PromptIcon::Error);
        }
        return;
    }
    SetDefaults();
    fConstructed = true;
    FormCreate();
}

TFormMain::~TFormMain() {
    FormDestroy();
}

void TFormMain::CreateServices(const QString& failCreating) {
    Messages = Create<TmyMessage>("Z_Message", failCreating, kProgramName, kBoxCaption, prompts);
    Status = Create<TmyStatus>("myStatus", failCreating, *StatusBar1, QString(kBoxCaption), 2);
    FileStore = Create<TmyFile>("FILE", failCreating, prompts);
    Graph = Create<TGraph_2CH>("TGraph_2CH", failCreating, PaintBox1, &data.Series(0),
                               &graphPanel->YLabels(), &graphPanel->XLabels(), &data.Settings,
                               &data.Series(1));
}

void TFormMain::SetDefaults() {
    MeasureBtn->setText(kStartCaption);
    ComboBox1->setCurrentIndex(3);
    ComboBox2->setCurrentIndex(3);
    ComboBox3->setCurrentIndex(0);
    Sinc3_RB->setChecked(false);
    Sinc5_RB->setChecked(true);
    data.Settings = MeasureSettings{};
    data.Settings.spsSel = ComboBox1->currentIndex();
    data.Settings.DataCountSel = ComboBox2->currentIndex();
    data.Settings.CHSel = ComboBox3->currentIndex();
    data.Clear();
    fStatusLayoutPending = fMeasuring = fStatCh0 = false;
    fFirstIdle = true;
}

// ---- Layout ---------------------------------------------------------------------------------

QLabel* TFormMain::AddLabel(const QString& text, QRect design, int anchorSet) {
    auto* label = new QLabel(text, client);
    anchors->Add(label, design, anchorSet);
    return label;
}

void TFormMain::BuildLayout() {
    // A fixed single border with the system menu and the close button only.
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(WindowFont(12));
    setWindowIcon(WindowIcon());
    client = new QWidget(this);
    setCentralWidget(client);
    anchors = std::make_unique<AnchorLayout>(QSize(kClientWidth, kClientHeight));

    graphPanel = std::make_unique<GraphPanel>(*client);
    PaintBox1 = graphPanel->Box();
    PaintBox1->OnPaint = [this](QPainter& painter) { FormPaint(painter); };
    anchors->Add(PaintBox1, GraphPanel::kPaintBox, A::Left | A::Top | A::Right | A::Bottom);

    std::array<QLabel**, TGraph_2CH::kYLabelCount> axis = {&Label1, &Label2,  &Label3, &Label4,
                                                           &Label5, &Label6,  &Label7, &Label8,
                                                           &Label9, &Label10, &Label11};
    for (std::size_t i = 0; i < axis.size(); ++i) {
        *axis[i] = graphPanel->YLabels()[i];
        anchors->Add(*axis[i], GraphPanel::YLabelDesign(i), A::Left);
    }
    Label12 = AddLabel("データ数", {664, 68, 47, 13}, A::Top | A::Right);
    Label13 = AddLabel("測定 CH", {664, 112, 47, 13}, A::Top | A::Right);
    Label12->setFont(WindowFont(13));
    Label13->setFont(WindowFont(13));
    Label14 = AddLabel("データレート", {664, 24, 63, 12}, A::Top | A::Right);
    Label15 = graphPanel->XLabels()[0];
    Label16 = graphPanel->XLabels()[1];
    anchors->Add(Label15, GraphPanel::kXLabels[0], A::Left | A::Bottom);
    anchors->Add(Label16, GraphPanel::kXLabels[1], A::Right | A::Bottom);

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
        anchors->Add(box, design, A::Top | A::Right);
        return box;
    };
    ComboBox1 = addCombo(SettingItems::kRates, {656, 40, 113, 20});
    ComboBox2 = addCombo(kCountItems, {656, 84, 113, 20});
    ComboBox3 = addCombo(SettingItems::kChannels, {656, 128, 113, 20});

    MeasureBtn = new QPushButton(kStartCaption, client);
    anchors->Add(MeasureBtn, {656, 342, 113, 33}, A::Right | A::Bottom);
    QuitBtn = new QPushButton("終了", client);
    anchors->Add(QuitBtn, {656, 376, 113, 33}, A::Right | A::Bottom);

    StatusBar1 = new QStatusBar(client);
    StatusBar1->setSizeGripEnabled(false);
    TmyStatus::CreatePanels(*StatusBar1);
    anchors->Add(StatusBar1, {0, 433, kClientWidth, 25}, A::Left | A::Right | A::Bottom);
    // Presses on the panels reach the bar too: the panels do not take mouse presses.
    StatusBar1->installEventFilter(this);

    setTabOrder(Sinc3_RB, Sinc5_RB);
    setTabOrder(Sinc5_RB, ComboBox1);
    setTabOrder(ComboBox1, ComboBox2);
    setTabOrder(ComboBox2, MeasureBtn);
    setTabOrder(MeasureBtn, QuitBtn);
    setTabOrder(QuitBtn, ComboBox3);

    connect(MeasureBtn, &QPushButton::clicked, this, &TFormMain::MeasureBtnClick);
    connect(QuitBtn, &QPushButton::clicked, this, &TFormMain::QuitBtnClick);
    connect(ComboBox1, &QComboBox::activated, this, &TFormMain::ComboBox1Change);
    connect(ComboBox2, &QComboBox::activated, this, &TFormMain::ComboBox2Change);
    connect(ComboBox3, &QComboBox::activated, this, &TFormMain::ComboBox3Change);
    connect(Sinc3_RB, &QRadioButton::clicked, this, &TFormMain::Sinc3_RBClick);
    connect(Sinc5_RB, &QRadioButton::clicked, this, &TFormMain::Sinc5_RBClick);

    BuildMenus();
    client->setFixedSize(kClientWidth, kClientHeight);
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    client->setMinimumSize(0, 0);
    client->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    move(359, 187);

    idleTimer.setTimerType(Qt::PreciseTimer);
    connect(&idleTimer, &QTimer::timeout, this, &TFormMain::IdleHandler);
}

void TFormMain::BuildMenus() {
    File1 = menuBar()->addMenu("ファイル(&F)");
    Exit1 = File1->addAction("終了(&X)", this, &TFormMain::Exit1Click);
    Data1 = menuBar()->addMenu("データ(&D)");
    Save1 = Data1->addAction("保存(&S)", this, &TFormMain::Save1Click);
    Load1 = Data1->addAction("読込み(&O)", this, &TFormMain::Load1Click);
    N1 = Data1->addAction("---");  // a plain item between the file items and the clear item
    DataClear = Data1->addAction("クリア", this, &TFormMain::DataClearClick);
    MenuY = menuBar()->addMenu("Y軸表示");
    MenuY_Volt = MenuY->addAction("電圧値");
    MenuY_Volt->setCheckable(true);
    MenuY_Volt->setChecked(false);
    connect(MenuY_Volt, &QAction::triggered, this, &TFormMain::MenuY_VoltClick);
    Analysis1 = menuBar()->addMenu("解析");
    NoiseAnalysis1 = Analysis1->addAction("ノイズ解析...", this, &TFormMain::NoiseAnalysis1Click);
    NoiseAnalysis1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    AnalyseFile1 =
        Analysis1->addAction("ファイルを開いて解析...", this, &TFormMain::AnalyseFile1Click);
    LongRecording1 = Analysis1->addAction("長時間記録...", this, &TFormMain::LongRecording1Click);
    connect(&boardUse, &BoardUse::Changed, this, &TFormMain::BoardUseChanged);
}

// ---- Small window operations ---------------------------------------------------------------

void TFormMain::UpdateTitle(const QString& fileName) {
    QString title = kProgramName + " / " + kVersion;
    if (!fileName.isEmpty()) {
        title += " : " + fileName;
    }
    setWindowTitle(title);
}

void TFormMain::SetControlsEnabled(bool enabled) {
    File1->menuAction()->setEnabled(enabled);
    Data1->menuAction()->setEnabled(enabled);
    MenuY->menuAction()->setEnabled(enabled);
    Analysis1->menuAction()->setEnabled(enabled);
    NoiseAnalysis1->setEnabled(enabled);  // its shortcut works even while the menu is disabled
    ComboBox1->setEnabled(enabled);
    ComboBox2->setEnabled(enabled);
    ComboBox3->setEnabled(enabled);
    Sinc3_RB->setEnabled(enabled);
    Sinc5_RB->setEnabled(enabled);
    LongRecording1->setEnabled(enabled);
    QuitBtn->setEnabled(enabled);
    MeasureBtn->setEnabled(enabled && boardUse.Holder() != BoardUse::User::Recording);
}

void TFormMain::DisableControls() {
    SetControlsEnabled(false);
}

void TFormMain::EnableControls() {
    SetControlsEnabled(true);
}

MeasureSettings TFormMain::ReadSettingsFromControls() const {
    MeasureSettings next = data.Settings;
    next.spsSel = ComboBox1->currentIndex();
    next.DataCountSel = ComboBox2->currentIndex();
    next.CHSel = ComboBox3->currentIndex();
    next.fSinc5 = !Sinc3_RB->isChecked();
    return next;
}

void TFormMain::ShowSettingsInControls() {
    ComboBox1->setCurrentIndex(data.Settings.spsSel);
    ComboBox2->setCurrentIndex(data.Settings.DataCountSel);
    ComboBox3->setCurrentIndex(data.Settings.CHSel);
    Sinc3_RB->setChecked(!data.Settings.fSinc5);
    Sinc5_RB->setChecked(data.Settings.fSinc5);
}

void TFormMain::RelayoutStatusBar() {
    const int height = 20;
    StatusBar1->setGeometry(0, client->height() - kBorderWidth - height, client->width(), height);
}

bool TFormMain::VoltMode() const {
    return MenuY_Volt->isChecked();
}

// ---- Form events ---------------------------------------------------------------------------

void TFormMain::FormCreate() {
    UpdateTitle({});
    ScheduleIdle();
}

void TFormMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (anchors && client) {
        anchors->Apply(client->size());
    }
    FormResize();
}

void TFormMain::FormResize() {
    if (!Graph) {
        return;
    }
    Graph->UpdateSize();
    if (data.Series(0).Count != 0 || data.Series(1).Count != 0) {
        Graph->DrawAll(VoltMode());
    } else {
        Graph->DrawEmpty(VoltMode());
    }
    fStatusLayoutPending = true;
    ScheduleIdle();
}

void TFormMain::FormPaint(QPainter& painter) {
    if (Graph) {
        Graph->PaintToScreen(painter);
    }
}

void TFormMain::FormDestroy() {
    // A recording still going is finished while the board it uses still exists.
    delete recording;
    recording = nullptr;
    idleTimer.stop();
    EndRunWaits();
    Messages.reset();
    Status.reset();
    FileStore.reset();
    Graph.reset();
}

void TFormMain::QuitBtnClick() {
    close();
}

void TFormMain::Exit1Click() {
    close();
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // A recording still going (or starting) asks first; kept on, it keeps the program open.
    if (boardUse.Holder() == BoardUse::User::Recording && !recording->close()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StatusBar1 && event->type() == QEvent::MouseButtonPress) {
        StatusBar1Click();
    }
    return QMainWindow::eventFilter(watched, event);
}
