// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RecordingForm.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <algorithm>
#include <chrono>
#include <initializer_list>

#include "app/SettingItems.h"
#include "charts/WindowFont.h"
#include "common/SampleRates.h"

namespace {

// The chart's spans: the whole recording, or its last minutes.
const QStringList kSpanItems = {"全体", "直近 1 分", "直近 10 分", "直近 60 分"};
constexpr double kSpanSeconds[] = {0, 60, 600, 3600};
const QStringList kFigureSpans = {"1000", "10000", "100000"};

QSpinBox* SpinBox(int most, const QString& suffix) {
    auto* box = new QSpinBox;
    box->setRange(0, most);
    box->setSuffix(suffix);
    return box;
}

}  // namespace

void RecordingForm::SetupUi(QWidget& recordingWindow) {
    window = &recordingWindow;
    window->setWindowTitle(kTitle);
    window->setFont(WindowFont(12));
    auto* layout = new QHBoxLayout(window);
    layout->addWidget(SetupControls());
    layout->addWidget(SetupView(), 1);
    window->resize(1000, 660);
}

QWidget* RecordingForm::SetupControls() {
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

    QObject::connect(CountBtn, &QRadioButton::toggled, window, [this] { UpdateLengthFields(); });
    return controls;
}

QWidget* RecordingForm::SetupView() {
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
    return view;
}

void RecordingForm::SetControlsEnabled(bool enabled) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{RateBox, Sinc3Btn, Sinc5Btn, ChannelBox, CountBtn,
                                         DurationBtn, FileEdit, BrowseBtn, TimeoutEdit}) {
        control->setEnabled(enabled);
    }
    UpdateLengthFields();
}

void RecordingForm::UpdateLengthFields() {
    const bool enabled = CountBtn->isEnabledTo(window);
    CountEdit->setEnabled(enabled && CountBtn->isChecked());
    for (QSpinBox* box : DurationEdits) {
        box->setEnabled(enabled && DurationBtn->isChecked());
    }
}

Recorder::Request RecordingForm::ReadRequest(const std::string& path) const {
    Recorder::Request request;
    RunRequest& run = request.run;
    run.settings.fSinc5 = Sinc5Btn->isChecked();
    run.settings.spsSel = RateBox->currentIndex();
    run.settings.CHSel = ChannelBox->currentIndex();
    request.file.path = path;
    if (CountBtn->isChecked()) {
        run.count = CountEdit->value();
    } else {
        const auto seconds = std::chrono::hours(DurationEdits[0]->value()) +
                             std::chrono::minutes(DurationEdits[1]->value()) +
                             std::chrono::seconds(DurationEdits[2]->value());
        run.count = SampleRates::SamplesIn(seconds, run.settings.spsSel, run.settings.fSinc5);
    }
    if (TimeoutEdit->value() > 0) {
        run.noDataTimeout = std::chrono::seconds(TimeoutEdit->value());
    }
    return request;
}

std::optional<double> RecordingForm::ChartSpan() const {
    const double seconds = kSpanSeconds[std::max(SpanBox->currentIndex(), 0)];
    return seconds > 0 ? std::optional(seconds) : std::nullopt;
}

std::size_t RecordingForm::FigureSpan() const {
    return static_cast<std::size_t>(kFigureSpans[FigureSpanBox->currentIndex()].toInt());
}
