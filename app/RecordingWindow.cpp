// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RecordingWindow.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <cerrno>
#include <filesystem>

#include "analysis/NoiseFigureTable.h"
#include "analysis/NoiseStatistics.h"
#include "app/SettingItems.h"
#include "charts/WindowFont.h"
#include "common/Prompts.h"
#include "common/SampleRates.h"
#include "link/Ad7172.h"
#include "messages/Mymessage.h"
#include "record/RecordingTexts.h"
#include "status/Mystatus.h"

namespace {

using namespace std::chrono_literals;

const QString kCompleteText = QStringLiteral("記録が終わりました");
const QString kCutShortText = QStringLiteral("記録が途中で終わりました");
const QString kRecordingText = QStringLiteral("記録中");
constexpr auto kRefreshInterval = 250ms;  // the chart, at most this often
constexpr auto kClockTick = 1s;
constexpr auto kFigureInterval = 500ms;
// The chart's spans: the whole recording, or its last minutes.
const QStringList kSpanItems = {"全体", "直近 1 分", "直近 10 分", "直近 60 分"};
constexpr double kSpanSeconds[] = {0, 60, 600, 3600};
const QStringList kFigureSpans = {"1000", "10000", "100000"};

// A name of either type keeps its extension; any other becomes a CSV file's.
QString WithRecordingExtension(const QString& name) {
    const bool fTyped =
        name.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ||
        RecordingSession::TypeOf(name.toStdString()) == RecordingSession::FileType::Hdf5;
    return fTyped ? name : name + ".csv";
}

bool Exists(const QString& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path.toStdString(), error).type() !=
           std::filesystem::file_type::not_found;
}

QString ClockText(std::chrono::seconds t) {
    const auto s = t.count();
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QChar('0'))
        .arg(s / 60 % 60, 2, 10, QChar('0'))
        .arg(s % 60, 2, 10, QChar('0'));
}

QString SizeText(std::uint64_t bytes) {
    if (bytes < 1024 * 1024) {
        return QStringLiteral("%1 KB").arg(static_cast<double>(bytes) / 1024, 0, 'f', 1);
    }
    return QStringLiteral("%1 MB").arg(static_cast<double>(bytes) / (1024 * 1024), 0, 'f', 1);
}

QSpinBox* SpinBox(int most, const QString& suffix) {
    auto* box = new QSpinBox;
    box->setRange(0, most);
    box->setSuffix(suffix);
    return box;
}

}  // namespace

RecordingWindow::RecordingWindow(Acquisition& engine, BoardUse& boardUse,
                                 TmyMessage& messageCatalogue, Prompts& windowPrompts,
                                 NowFunction nowFunction, AnalyseFunction analyseFunction,
                                 QWidget* parent)
    : QWidget(parent, Qt::Window),
      use(boardUse),
      messages(messageCatalogue),
      prompts(windowPrompts),
      now(nowFunction),
      analyse(std::move(analyseFunction)),
      recorder(engine, nowFunction),
      refresh(
          std::move(nowFunction), [this] { ShowProgressOnData(); }, kRefreshInterval) {
    setWindowTitle(kTitle);
    setFont(WindowFont(12));
    BuildLayout();
    resize(1000, 660);
    recorder.SetBlockObserver([this](const SampleBlock& block) { TakeBlock(block); });
    connect(&clock, &QTimer::timeout, this, &RecordingWindow::ShowProgressText);
    connect(&use, &BoardUse::Changed, this, &RecordingWindow::UpdateStartButton);
    UpdateStartButton();
}

RecordingWindow::~RecordingWindow() {
    // The window goes with the program: a recording's file is finished and the board told to
    // stop (a run of the main window is left as it is).
    wake.Disarm();
    recorder.Stop();
    use.Release(BoardUse::User::Recording);
}

// ---- Layout ---------------------------------------------------------------------------------

void RecordingWindow::BuildLayout() {
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(BuildControls());
    layout->addWidget(BuildView(), 1);
}

QWidget* RecordingWindow::BuildControls() {
    auto* controls = new QWidget;
    auto* form = new QFormLayout(controls);
    RateBox = new QComboBox;
    RateBox->addItems(SettingItems::kRates);
    RateBox->setMaxVisibleItems(static_cast<int>(SettingItems::kRates.size()));
    RateBox->setCurrentIndex(3);
    form->addRow(QStringLiteral("データレート"), RateBox);
    Sinc3Btn = new QRadioButton("Sinc3");
    Sinc5Btn = new QRadioButton("Sinc5+Sinc1");
    Sinc5Btn->setChecked(true);
    auto* filters = new QVBoxLayout;
    filters->addWidget(Sinc3Btn);
    filters->addWidget(Sinc5Btn);
    form->addRow(QStringLiteral("フィルタ"), filters);
    ChannelBox = new QComboBox;
    ChannelBox->addItems(SettingItems::kChannels);
    form->addRow(QStringLiteral("測定 CH"), ChannelBox);

    CountBtn = new QRadioButton(QStringLiteral("データ数"));
    CountBtn->setChecked(true);
    CountEdit = SpinBox(1000000000, {});
    CountEdit->setMinimum(1);
    CountEdit->setValue(10000);
    form->addRow(CountBtn, CountEdit);
    DurationBtn = new QRadioButton(QStringLiteral("記録時間"));
    auto* duration = new QHBoxLayout;
    DurationEdits = {SpinBox(9999, QStringLiteral(" 時間")), SpinBox(59, QStringLiteral(" 分")),
                     SpinBox(59, QStringLiteral(" 秒"))};
    DurationEdits[1]->setValue(10);
    for (QSpinBox* box : DurationEdits) {
        duration->addWidget(box);
    }
    form->addRow(DurationBtn, duration);
    auto* lengthGroup = new QButtonGroup(controls);
    lengthGroup->addButton(CountBtn);
    lengthGroup->addButton(DurationBtn);
    UpdateLengthFields();

    FileEdit = new QLineEdit;
    BrowseBtn = new QPushButton(QStringLiteral("参照..."));
    auto* file = new QHBoxLayout;
    file->addWidget(FileEdit);
    file->addWidget(BrowseBtn);
    form->addRow(QStringLiteral("出力ファイル"), file);
    TimeoutEdit = SpinBox(86400, QStringLiteral(" 秒"));
    TimeoutEdit->setSpecialValueText(QStringLiteral("なし"));
    form->addRow(QStringLiteral("データなし時間切れ"), TimeoutEdit);

    StartBtn = new QPushButton(kStartCaption);
    AnalyseBtn = new QPushButton(QStringLiteral("ノイズ解析"));
    AnalyseBtn->setEnabled(false);
    form->addRow(StartBtn);
    form->addRow(AnalyseBtn);
    StateLabel = new QLabel;
    form->addRow(StateLabel);

    connect(CountBtn, &QRadioButton::toggled, this, &RecordingWindow::UpdateLengthFields);
    connect(BrowseBtn, &QPushButton::clicked, this, &RecordingWindow::BrowseBtnClick);
    connect(StartBtn, &QPushButton::clicked, this, &RecordingWindow::StartBtnClick);
    connect(AnalyseBtn, &QPushButton::clicked, this, &RecordingWindow::AnalyseBtnClick);
    return controls;
}

QWidget* RecordingWindow::BuildView() {
    auto* view = new QWidget;
    auto* layout = new QVBoxLayout(view);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("表示")));
    SpanBox = new QComboBox;
    SpanBox->addItems(kSpanItems);
    top->addWidget(SpanBox);
    top->addStretch();
    top->addWidget(new QLabel(QStringLiteral("統計の範囲 (最新のデータ数)")));
    FigureSpanBox = new QComboBox;
    FigureSpanBox->addItems(kFigureSpans);
    FigureSpanBox->setCurrentIndex(1);
    top->addWidget(FigureSpanBox);
    layout->addLayout(top);

    chart = new RecordingChart;
    chart->SetReadBack([this](std::int64_t first, std::int64_t last,
                              std::array<std::vector<std::int32_t>, 2>& codes) {
        return recorder.ReadBack(first, last, codes);
    });
    layout->addWidget(chart, 1);
    ProgressLabel = new QLabel;
    // A fixed size: a new text is painted, the window is not laid out again.
    ProgressLabel->setFixedSize(640, ProgressLabel->fontMetrics().height() + 4);
    layout->addWidget(ProgressLabel);

    FigureTable = new QTableWidget(0, 4);
    FigureTable->setHorizontalHeaderLabels({"項目", "CH0", "CH1", "単位"});
    FigureTable->verticalHeader()->hide();
    FigureTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    FigureTable->verticalHeader()->setDefaultSectionSize(22);
    FigureTable->setFixedHeight(7 * 22 + 8);
    layout->addWidget(FigureTable);

    connect(SpanBox, &QComboBox::currentIndexChanged, this, &RecordingWindow::FollowSpan);
    connect(FigureSpanBox, &QComboBox::currentIndexChanged, this, &RecordingWindow::ShowFigures);
    return view;
}

void RecordingWindow::SetControlsEnabled(bool enabled) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{RateBox, Sinc3Btn, Sinc5Btn, ChannelBox, CountBtn,
                                         DurationBtn, FileEdit, BrowseBtn, TimeoutEdit}) {
        control->setEnabled(enabled);
    }
    UpdateLengthFields();
}

// Only the length chosen, by count or by duration, can be edited.
void RecordingWindow::UpdateLengthFields() {
    const bool enabled = CountBtn->isEnabledTo(this);
    CountEdit->setEnabled(enabled && CountBtn->isChecked());
    for (QSpinBox* box : DurationEdits) {
        box->setEnabled(enabled && DurationBtn->isChecked());
    }
}

// The start waits while the main window measures; the stop is always there.
void RecordingWindow::UpdateStartButton() {
    StartBtn->setEnabled(recorder.Recording() || use.Holder() == BoardUse::User::None);
}

// ---- Start and stop -------------------------------------------------------------------------

void RecordingWindow::BrowseBtnClick() {
    const auto chosen =
        prompts.AskSaveFileName("CSV ファイル (*.csv);;HDF5 ファイル (*.h5 *.hdf5)", "*.csv");
    if (chosen && !chosen->empty()) {
        FileEdit->setText(WithRecordingExtension(QString::fromStdString(*chosen)));
    }
}

void RecordingWindow::StartBtnClick() {
    if (recorder.Recording()) {
        StopRecording();
        return;
    }
    if (use.Holder() != BoardUse::User::None) {
        return;
    }
    const auto request = RequestFromControls();
    // The questions before ran the event loop: the main window may have started meanwhile.
    if (!request || !use.Take(BoardUse::User::Recording)) {
        return;
    }
    SetControlsEnabled(false);
    StartBtn->setEnabled(false);  // identification waits in the event loop
    AnalyseBtn->setEnabled(false);
    StateLabel->clear();
    Begin(*request);
    // Painted now, not while the board's replies are awaited: the replies' time-out runs
    // while the event loop paints, and a slow machine may need longer for the chart.
    repaint();
    if (!Started(recorder.Start(*request, RecordingSession::TypeOf(request->path)), *request)) {
        use.Release(BoardUse::User::Recording);
        SetControlsEnabled(true);
        UpdateStartButton();
        // The last file stays there for the analysis, unless this start replaced it.
        if (!Exists(analysablePath)) {
            analysablePath.clear();
        }
        AnalyseBtn->setEnabled(!analysablePath.isEmpty());
        return;
    }
    recordingPath = QString::fromStdString(request->path);
    if (analysablePath == recordingPath) {
        analysablePath.clear();  // replaced by this recording
    }
    started = now();
    StartBtn->setText(kStopCaption);
    UpdateStartButton();
    if (!recorder.Recording()) {
        Finish();  // the file's header could not be written
        return;
    }
    StateLabel->setText(kRecordingText);
    clock.start(kClockTick);
    ShowProgress();
    ArmWake();
}

std::optional<RecordingSession::Request> RecordingWindow::RequestFromControls() {
    if (FileEdit->text().trimmed().isEmpty()) {
        BrowseBtnClick();
    }
    const QString name = FileEdit->text().trimmed();
    if (name.isEmpty()) {
        return std::nullopt;
    }
    const QString path = WithRecordingExtension(name);
    FileEdit->setText(path);
    RecordingSession::Request request;
    request.fSinc5 = Sinc5Btn->isChecked();
    request.spsSel = RateBox->currentIndex();
    request.chSel = ChannelBox->currentIndex();
    request.path = path.toStdString();
    if (CountBtn->isChecked()) {
        request.count = CountEdit->value();
    } else {
        const auto seconds = std::chrono::hours(DurationEdits[0]->value()) +
                             std::chrono::minutes(DurationEdits[1]->value()) +
                             std::chrono::seconds(DurationEdits[2]->value());
        request.count = SampleRates::SamplesIn(seconds, request.spsSel, request.fSinc5);
    }
    if (TimeoutEdit->value() > 0) {
        request.noDataTimeout = std::chrono::seconds(TimeoutEdit->value());
    }
    if (Exists(path)) {
        if (!ConfirmOverwrite(prompts, request.path, false)) {
            return std::nullopt;
        }
        request.fOverwrite = true;
    }
    return request;
}

void RecordingWindow::Begin(const RecordingSession::Request& request) {
    sampleRate = SampleRates::SamplesPerSecond(request.spsSel, request.fSinc5);
    for (SampleEnvelope& envelope : envelopes) {
        envelope.Clear();
    }
    chart->Begin(sampleRate, {request.chSel != 1 ? &envelopes[0] : nullptr,
                              request.chSel != 0 ? &envelopes[1] : nullptr});
    FigureTable->setRowCount(0);
    FigureTable->setColumnHidden(1, request.chSel == 1);
    FigureTable->setColumnHidden(2, request.chSel == 0);
    ProgressLabel->clear();  // the line belongs to the recording on screen
    FollowSpan();
}

// The same failures as the command line's, as the window's boxes.
bool RecordingWindow::Started(Acquisition::StartResult result,
                              const RecordingSession::Request& request) {
    if (result != Acquisition::StartResult::Refused) {
        messages.StartFailed(result);
        return result == Acquisition::StartResult::Started;
    }
    // A file that exists now was made between the question and the start.
    const int error = recorder.Refused() == FileRefusal::Exists ? EEXIST : recorder.FileError();
    messages.Show(QString::fromStdString(RecordingTexts::FileFailed(request.path, error)));
    return false;
}

void RecordingWindow::TakeBlock(const SampleBlock& block) {
    envelopes[0].Add(block.ch0);
    envelopes[1].Add(block.ch1);
    refresh.Request();
}

// Shown in the wake that brought the data, so a slow recording wakes once per block. The
// clock ticks only when no block has come for a second (a stalled board); the texts are
// never more than a second apart, so the elapsed time never skips a second.
void RecordingWindow::ShowProgressOnData() {
    ShowProgress();
    if (clock.isActive()) {
        clock.start(kClockTick);
    }
}

void RecordingWindow::RecordWake() {
    recorder.Wake();
    if (recorder.Recording()) {
        ArmWake();
    } else {
        Finish();
    }
}

void RecordingWindow::ArmWake() {
    const BlockWait::Sleep next = recorder.NextWait();
    wake.Arm(next.fd, next.duration);
}

void RecordingWindow::StopRecording() {
    wake.Disarm();
    recorder.Stop();
    if (recorder.Recording()) {
        ArmWake();  // asked for during a step of the engine: the next wake finds it stopped
    } else {
        Finish();
    }
}

void RecordingWindow::Finish() {
    wake.Disarm();
    clock.stop();
    refresh.Cancel();
    use.Release(BoardUse::User::Recording);
    SetControlsEnabled(true);
    StartBtn->setText(kStartCaption);
    UpdateStartButton();
    ended = now();
    if (recorder.Kept() > 0) {
        analysablePath = recordingPath;
    }
    AnalyseBtn->setEnabled(!analysablePath.isEmpty());
    figuresShown = {};
    chart->Settle();
    ShowProgress();
    ShowOutcome();
}

void RecordingWindow::ShowOutcome() {
    switch (recorder.Result()) {
        case AcquisitionOutcome::Complete:
            StateLabel->setText(kCompleteText);
            break;
        case AcquisitionOutcome::Stopped:
            StateLabel->setText(TmyStatus::StoppedText());
            break;
        case AcquisitionOutcome::TimedOut:
            StateLabel->setText(kCutShortText);
            messages.BoardNoResponse();
            break;
        case AcquisitionOutcome::ReadFailed:
            StateLabel->setText(TmyStatus::MeasureErrorText());
            messages.Show(TmyStatus::MeasureErrorText());
            break;
        case AcquisitionOutcome::WriteFailed: {
            StateLabel->setText(kCutShortText);
            const std::string path = recordingPath.toStdString();
            messages.Show(
                QString::fromStdString(RecordingTexts::FileFailed(path, recorder.FileError()) +
                                       '\n' + RecordingTexts::Kept(path, recorder.Kept())));
            break;
        }
        case AcquisitionOutcome::None:
            break;
    }
}

void RecordingWindow::AnalyseBtnClick() {
    if (!analysablePath.isEmpty() && !recorder.Recording()) {
        analyse(analysablePath);
    }
}

void RecordingWindow::closeEvent(QCloseEvent* event) {
    if (recorder.Recording() || use.Holder() == BoardUse::User::Recording) {
        const bool fStop =
            recorder.Recording() &&
            prompts.AskYesNo("確認", kStopQuestion.toStdString(), "はい(&Y)", "いいえ(&N)", false);
        if (!fStop) {
            event->ignore();  // or still starting: it can be stopped once it runs
            return;
        }
        StopRecording();
    }
    event->accept();
}

// ---- What the window shows ------------------------------------------------------------------

// Cells keep their items; a text that stays the same costs nothing.
void RecordingWindow::SetCell(int row, int column, const std::string& text,
                              const std::string& note) {
    const QString shown = QString::fromStdString(text);
    QTableWidgetItem* item = FigureTable->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        FigureTable->setItem(row, column, item);
    }
    if (item->text() != shown) {
        item->setText(shown);
        item->setToolTip(QString::fromStdString(note));
    }
}

void RecordingWindow::FollowSpan() {
    const double seconds = kSpanSeconds[std::max(SpanBox->currentIndex(), 0)];
    chart->Follow(seconds > 0 ? std::optional(seconds) : std::nullopt);
}

void RecordingWindow::ShowProgress() {
    chart->Refresh();
    if (now() - figuresShown >= kFigureInterval) {
        ShowFigures();
    }
    ShowProgressText();
}

// The time left only while recording: an ended recording has none, complete or not.
void RecordingWindow::ShowProgressText() {
    const std::int64_t written = recorder.Written();
    const std::int64_t total = recorder.Total();
    const bool fRecording = recorder.Recording();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>((fRecording ? now() : ended) - started);
    QString text =
        QStringLiteral("データ数 %1 / %2　経過 %3").arg(written).arg(total).arg(ClockText(elapsed));
    if (fRecording) {
        const auto left = std::chrono::seconds(
            static_cast<std::int64_t>(static_cast<double>(total - written) / sampleRate));
        text += QStringLiteral("　残り ") + ClockText(left);
    }
    ProgressLabel->setText(text + QStringLiteral("　ファイル ") + SizeText(recorder.FileSize()));
}

void RecordingWindow::ShowFigures() {
    figuresShown = now();
    const auto most = static_cast<std::size_t>(kFigureSpans[FigureSpanBox->currentIndex()].toInt());
    for (int channel = 0; channel < 2; ++channel) {
        envelopes[static_cast<std::size_t>(channel)].Recent(most, figureCodes);
        if (figureCodes.size() < 2) {
            continue;
        }
        const auto rows =
            NoiseFigureTable::StatisticsRows(NoiseStatistics::Compute(figureCodes, sampleRate));
        FigureTable->setRowCount(static_cast<int>(rows.size()));
        for (int row = 0; row < FigureTable->rowCount(); ++row) {
            const NoiseFigure& figure = rows[static_cast<std::size_t>(row)];
            SetCell(row, 0, figure.name);
            // A figure with something to say is marked, and says it on hovering.
            SetCell(row, 1 + channel,
                    NoiseFigureTable::ValueText(figure) + (figure.note.empty() ? "" : " ※"),
                    figure.note);
            SetCell(row, 3, figure.unit);
        }
    }
}
