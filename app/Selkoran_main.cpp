// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Selkoran_main.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

#include "app/Creation.h"
#include "charts/GraphPanel.h"
#include "charts/PaintBox.h"
#include "common/Prompts.h"
#include "datafile/Myfile.h"
#include "messages/Mymessage.h"
#include "status/Mystatus.h"

namespace {

const QString kProgramName = QStringLiteral("SELKORAN");
const char* const kBoxCaption = "SELKORAN Board";

}  // namespace

TFormMain::TFormMain(Acquisition& acquisition, Measurement& measurement, Prompts& windowPrompts,
                     std::function<LinkTiming::Clock::time_point()> now,
                     const QString& failCreating)
    : engine(acquisition),
      data(measurement),
      prompts(windowPrompts),
      clockNow(now),
      runView(acquisition, measurement, now, [this] { IdleHandler(); }) {
    SetupUi(*this);
    ConnectEvents();
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
    runView.ShowIn({*Graph, *Status, [this] { return VoltMode(); }, [this] { ClearData(); },
                    [this](AcquisitionOutcome outcome) { RunEnded(outcome); }});
    companions =
        std::make_unique<CompanionWindows>(*this, engine, boardUse, *Messages, prompts, clockNow);
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
    SetDefaultControls();
    data.Settings = ReadSettingsFromControls(MeasureSettings{});
    data.Clear();
}

void TFormMain::ConnectEvents() {
    PaintBox1->OnPaint = [this](QPainter& painter) { FormPaint(painter); };
    // Presses on the panels reach the bar too: the panels do not take mouse presses.
    StatusBar1->installEventFilter(this);
    const std::pair<QAbstractButton*, void (TFormMain::*)()> buttons[] = {
        {MeasureBtn, &TFormMain::MeasureBtnClick},
        {QuitBtn, &TFormMain::QuitBtnClick},
        {Sinc3_RB, &TFormMain::Sinc3_RBClick},
        {Sinc5_RB, &TFormMain::Sinc5_RBClick}};
    for (const auto& [button, handler] : buttons) {
        connect(button, &QAbstractButton::clicked, this, handler);
    }
    connect(ComboBox1, &QComboBox::activated, this, &TFormMain::ComboBox1Change);
    connect(ComboBox2, &QComboBox::activated, this, &TFormMain::ComboBox2Change);
    connect(ComboBox3, &QComboBox::activated, this, &TFormMain::ComboBox3Change);
    const std::pair<QAction*, void (TFormMain::*)()> items[] = {
        {Exit1, &TFormMain::Exit1Click},
        {Save1, &TFormMain::Save1Click},
        {Load1, &TFormMain::Load1Click},
        {DataClear, &TFormMain::DataClearClick},
        {MenuY_Volt, &TFormMain::MenuY_VoltClick},
        {NoiseAnalysis1, &TFormMain::NoiseAnalysis1Click},
        {AnalyseFile1, &TFormMain::AnalyseFile1Click},
        {LongRecording1, &TFormMain::LongRecording1Click}};
    for (const auto& [action, handler] : items) {
        connect(action, &QAction::triggered, this, handler);
    }
    connect(&boardUse, &BoardUse::Changed, this, &TFormMain::BoardUseChanged);
    idleTimer.setTimerType(Qt::PreciseTimer);
    connect(&idleTimer, &QTimer::timeout, this, &TFormMain::IdleHandler);
}

void TFormMain::FormCreate() {
    UpdateTitle({});
    ScheduleIdle();
}

void TFormMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ApplyAnchors();
    FormResize();
}

void TFormMain::FormResize() {
    if (!Graph) {
        return;
    }
    Graph->UpdateSize();
    RedrawGraph();
    fStatusLayoutPending = true;
    ScheduleIdle();
}

void TFormMain::RedrawGraph() {
    if (HasData(0) || HasData(1)) {
        Graph->DrawAll(VoltMode());
    } else {
        Graph->DrawEmpty(VoltMode());
    }
}

void TFormMain::FormPaint(QPainter& painter) {
    if (Graph) {
        Graph->PaintToScreen(painter);
    }
}

void TFormMain::FormDestroy() {
    companions.reset();  // a recording still going is finished first
    idleTimer.stop();
    runView.Disarm();
    Messages.reset();
    Status.reset();
    FileStore.reset();
    Graph.reset();
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // A recording still going (or starting) asks first; kept on, it keeps the program open.
    if (companions && !companions->MayClose()) {
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
