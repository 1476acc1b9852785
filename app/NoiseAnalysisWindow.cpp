// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/NoiseAnalysisWindow.h"

#include <sys/stat.h>

#include <QBoxLayout>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <cerrno>
#include <memory>

#include "analysis/DynamicFigureTable.h"
#include "analysis/NoiseFigureTable.h"
#include "charts/PictureCaption.h"
#include "charts/WindowFont.h"
#include "charts/ZoomingChartView.h"
#include "common/ChannelSeries.h"
#include "common/FileError.h"
#include "common/PosixFile.h"
#include "common/Prompts.h"
#include "datafile/Myfile.h"
#include "record/RecordingAnalysis.h"
#include "record/RecordingSource.h"

namespace {

// How often the progress of a recording's analysis is shown.
constexpr int kProgressMilliseconds = 50;

constexpr AnalysisCharts::Kind kChartKinds[] = {
    AnalysisCharts::Kind::Histogram, AnalysisCharts::Kind::Spectrum, AnalysisCharts::Kind::Allan,
    AnalysisCharts::Kind::Fft};

QString WithPngExtension(const QString& name) {
    return name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) ? name : name + ".png";
}

QTableWidgetItem* Cell(const std::string& text, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    return item;
}

// Why the file cannot be analysed before its content is looked at: it cannot be opened, is a
// folder or no regular file (a pipe would be waited on), or is empty.
std::optional<std::string> UnreadableReason(const std::string& path) {
    const PosixFile file = PosixFile::OpenRegular(path);
    struct stat info {};
    if (!file.IsOpen()) {
        return FileErrorReason(file.Error());
    }
    if (::fstat(file.Descriptor(), &info) != 0) {
        return FileErrorReason(errno);
    }
    if (info.st_size == 0) {
        return "空のファイルです";
    }
    return std::nullopt;
}

}  // namespace

NoiseAnalysisWindow::NoiseAnalysisWindow(Prompts& windowPrompts, QWidget* parent)
    : QWidget(parent, Qt::Window), prompts(windowPrompts) {
    setWindowTitle(kTitle);
    setFont(WindowFont(12));
    BuildLayout();
    resize(860, 620);
    ShowNotice(kNoDataText);
}

// A recording still analysed is stopped and waited for by its own destructor.
NoiseAnalysisWindow::~NoiseAnalysisWindow() = default;

void NoiseAnalysisWindow::BuildLayout() {
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("チャンネル")));
    ChannelBox = new QComboBox;
    top->addWidget(ChannelBox);
    top->addStretch();
    SaveImageBtn = new QPushButton(QStringLiteral("画像を保存..."));
    top->addWidget(SaveImageBtn);

    Tabs = new QTabWidget;
    FigureTable = new QTableWidget(0, 4);
    FigureTable->setHorizontalHeaderLabels({"項目", "値", "単位", "備考"});
    FigureTable->verticalHeader()->hide();
    FigureTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    FigureTable->horizontalHeader()->setStretchLastSection(true);
    FigureNote = new QLabel(QString::fromStdString(NoiseFigureTable::kMissingCodesNote));
    FigureNote->setWordWrap(true);
    auto* figures = new QWidget;
    auto* figureLayout = new QVBoxLayout(figures);
    figureLayout->addWidget(FigureTable);
    figureLayout->addWidget(FigureNote);
    Tabs->addTab(figures, QStringLiteral("数値"));
    const QString chartTabs[] = {QStringLiteral("ヒストグラム"), QStringLiteral("スペクトル"),
                                 QStringLiteral("アラン偏差"), QStringLiteral("FFT")};
    for (std::size_t i = 0; i < ChartViews.size(); ++i) {
        ChartViews[i] = new ZoomingChartView;
        Tabs->addTab(ChartViews[i], chartTabs[i]);
    }

    notice = new QLabel;
    notice->setAlignment(Qt::AlignCenter);
    pages = new QStackedWidget;
    pages->addWidget(notice);
    pages->addWidget(Tabs);
    pages->addWidget(BuildProgressPage());

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(pages);

    connect(ChannelBox, &QComboBox::currentIndexChanged, this, &NoiseAnalysisWindow::ShowChannel);
    connect(Tabs, &QTabWidget::currentChanged, this, &NoiseAnalysisWindow::UpdateSaveButton);
    connect(SaveImageBtn, &QPushButton::clicked, this, &NoiseAnalysisWindow::SaveImageClick);
}

QWidget* NoiseAnalysisWindow::BuildProgressPage() {
    progressPage = new QWidget;
    progressText = new QLabel;
    progressText->setWordWrap(true);
    AnalysisBar = new QProgressBar;
    AnalysisBar->setRange(0, 1000);
    CancelBtn = new QPushButton(kCancelText);
    auto* layout = new QVBoxLayout(progressPage);
    layout->addStretch();
    layout->addWidget(progressText);
    layout->addWidget(AnalysisBar);
    layout->addWidget(CancelBtn, 0, Qt::AlignRight);
    layout->addStretch();
    progressTimer = new QTimer(this);
    progressTimer->setInterval(kProgressMilliseconds);
    connect(progressTimer, &QTimer::timeout, this,
            [this] { AnalysisBar->setValue(static_cast<int>(running->Fraction() * 1000.0)); });
    connect(CancelBtn, &QPushButton::clicked, this, &NoiseAnalysisWindow::CancelClick);
    return progressPage;
}

void NoiseAnalysisWindow::ShowData(const MeasureSettings& settings, ChannelCodes ch0,
                                   ChannelCodes ch1) {
    StopRecording();
    const std::array<ChannelCodes, 2> channels = {ch0, ch1};
    std::array<bool, 2> present{};
    for (std::size_t channel = 0; channel < 2; ++channel) {
        const ChannelCodes& codes = channels[channel];
        analyses[channel] = codes ? NoiseAnalysis::WithDynamic(*codes, settings) : std::nullopt;
        present[channel] = codes.has_value();
    }
    sourcePath.clear();
    measuredTime = QDateTime::currentDateTime();
    fSinc5 = settings.fSinc5;
    ShowAnalyses(present);
}

void NoiseAnalysisWindow::ShowRecording(const QString& path) {
    StartRecording(path, false);
}

void NoiseAnalysisWindow::ShowFile(const QString& path) {
    const std::string name = path.toStdString();
    std::optional<QString> failure;
    if (const std::optional<std::string> reason = UnreadableReason(name)) {
        failure = QString::fromStdString(FileErrorText(kBadFileText.toStdString(), name, *reason));
    } else if (RecordingSource::IsRecording(name)) {
        StartRecording(path, true);
    } else {
        failure = ShowDataFile(path);
    }
    if (failure) {
        prompts.ShowMessage(kBoxCaption.toStdString(), failure->toStdString(), PromptIcon::Error);
    }
}

std::optional<QString> NoiseAnalysisWindow::ShowDataFile(const QString& path) {
    // Its own arrays: the data on the main window's screen stay as they are.
    const auto ch0 = std::make_unique<ChannelBuffer>();
    const auto ch1 = std::make_unique<ChannelBuffer>();
    MeasureSettings settings;  // the start-up settings for keys the file lacks
    FileFailure failure;
    if (!TmyFile(prompts).Load(path.toStdString(), settings, ch0->Series, ch1->Series, &failure)) {
        return QString::fromStdString(
            FileErrorText(kBadFileText.toStdString(), path.toStdString(), failure.Reason()));
    }
    const auto codesOf = [](const ChannelBuffer& buffer) {
        const ChannelSeries& series = buffer.Series;
        return series.Count > 0 ? ChannelCodes(std::in_place, series.Codes,
                                               static_cast<std::size_t>(series.Count))
                                : std::nullopt;
    };
    ShowData(settings, codesOf(*ch0), codesOf(*ch1));
    sourcePath = path;
    setWindowTitle(kTitle + " : " + path);
    return std::nullopt;
}

void NoiseAnalysisWindow::StartRecording(const QString& path, bool fPrompt) {
    StopRecording();
    running = std::make_unique<BackgroundAnalysis>(
        RecordingAnalysis::Request{.path = path.toStdString(), .fDynamic = true});
    // Queued: the analysis is destroyed when it has been shown, not inside its own signal.
    connect(running.get(), &BackgroundAnalysis::Finished, this,
            &NoiseAnalysisWindow::RecordingAnalysed, Qt::QueuedConnection);
    runningPath = path;
    fPromptFailure = fPrompt;
    progressText->setText(kAnalysingText + path);
    AnalysisBar->setValue(0);
    ChannelBox->setEnabled(false);
    pages->setCurrentWidget(progressPage);
    UpdateSaveButton();
    progressTimer->start();
}

void NoiseAnalysisWindow::StopRecording() {
    if (running) {
        progressTimer->stop();
        running.reset();
        ChannelBox->setEnabled(true);
    }
}

void NoiseAnalysisWindow::CancelClick() {
    if (running) {
        StopRecording();
        ShowChannel();
    }
}

void NoiseAnalysisWindow::RecordingAnalysed() {
    if (!running || !running->Over()) {
        return;  // an analysis stopped before its end
    }
    BackgroundAnalysis::Outcome outcome = running->Take();
    StopRecording();
    const std::optional<QString> failure = ShowRecordingFile(runningPath, std::move(outcome));
    if (!failure) {
        return;
    }
    if (fPromptFailure) {
        ShowChannel();
        prompts.ShowMessage(kBoxCaption.toStdString(), failure->toStdString(), PromptIcon::Error);
    } else {
        analyses = {};
        ShowAnalyses({});
        setWindowTitle(kTitle + " : " + runningPath);
        ShowNotice(*failure);
    }
}

std::optional<QString> NoiseAnalysisWindow::ShowRecordingFile(const QString& path,
                                                              BackgroundAnalysis::Outcome outcome) {
    std::optional<RecordingAnalysis>& recording = outcome.recording;
    const std::string& reason = outcome.reason;
    if (!recording) {
        switch (outcome.failure) {
            case RecordingAnalysis::Failure::BadFile:
                return QString::fromStdString(
                    FileErrorText(kBadFileText.toStdString(), path.toStdString(),
                                  reason.empty() ? RecordingAnalysis::kBadTableReason : reason));
            case RecordingAnalysis::Failure::NoSampleRate:  // a table written without its "#" lines
                return QString::fromStdString(
                    FileErrorText("サンプルレートがわかりません", path.toStdString(),
                                  "表にサンプルレートの # 行がありません"));
            default:
                return kTemporaryFileText;
        }
    }
    std::array<bool, 2> present{};
    analyses = {};
    for (RecordingAnalysis::Channel& channel : recording->channels) {
        const auto i = static_cast<std::size_t>(channel.channel);
        analyses[i] = std::move(channel.analysis);
        present[i] = true;
    }
    fSinc5 = recording->settings.fSinc5;
    ShowAnalyses(present);
    sourcePath = path;
    setWindowTitle(kTitle + " : " + path);
    return std::nullopt;
}

void NoiseAnalysisWindow::ShowAnalyses(std::array<bool, 2> present) {
    setWindowTitle(kTitle);
    const int previous = ShownChannel();
    const QSignalBlocker refilling(ChannelBox);
    ChannelBox->clear();
    for (int channel = 0; channel < 2; ++channel) {
        if (present[static_cast<std::size_t>(channel)]) {
            ChannelBox->addItem(QStringLiteral("CH%1").arg(channel), channel);
        }
    }
    // The channel chosen before stays chosen while it has data.
    const int keep = ChannelBox->findData(previous);
    ChannelBox->setCurrentIndex(keep >= 0 ? keep : 0);
    ShowChannel();
}

int NoiseAnalysisWindow::ShownChannel() const {
    return ChannelBox->count() == 0 ? -1 : ChannelBox->currentData().toInt();
}

const NoiseAnalysis* NoiseAnalysisWindow::ShownAnalysis() const {
    const int channel = ShownChannel();
    return channel < 0 || !analyses[channel] ? nullptr : &*analyses[channel];
}

QString NoiseAnalysisWindow::NoticeText() const {
    return pages->currentWidget() == notice ? notice->text() : QString();
}

void NoiseAnalysisWindow::ShowChannel() {
    const int channel = ShownChannel();
    const NoiseAnalysis* analysis = ShownAnalysis();
    if (channel < 0) {
        ShowNotice(kNoDataText);
    } else if (analysis == nullptr) {
        ShowNotice(QString::fromStdString(NoiseFigureTable::kTooFewSamplesText));
    } else {
        ShowFigures(*analysis);
        ShowCharts(*analysis, channel);
        pages->setCurrentWidget(Tabs);
    }
    UpdateSaveButton();
}

void NoiseAnalysisWindow::ShowNotice(const QString& text) {
    notice->setText(text);
    pages->setCurrentWidget(notice);
}

void NoiseAnalysisWindow::ShowFigures(const NoiseAnalysis& analysis) {
    std::vector<NoiseFigure> rows = NoiseFigureTable::Rows(analysis);
    if (analysis.dynamic) {
        for (NoiseFigure& row :
             DynamicFigureTable::Rows(*analysis.dynamic, analysis.statistics.count)) {
            rows.push_back(std::move(row));
        }
    }
    FigureTable->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < FigureTable->rowCount(); ++row) {
        const NoiseFigure& figure = rows[static_cast<std::size_t>(row)];
        FigureTable->setItem(row, 0, Cell(figure.name));
        FigureTable->setItem(row, 1, Cell(NoiseFigureTable::ValueText(figure), Qt::AlignRight));
        FigureTable->setItem(row, 2, Cell(figure.unit));
        FigureTable->setItem(row, 3, Cell(figure.note));
    }
}

void NoiseAnalysisWindow::ShowCharts(const NoiseAnalysis& analysis, int channel) {
    for (std::size_t i = 0; i < ChartViews.size(); ++i) {
        // The view gives up its old chart rather than deleting it.
        QChart* old = ChartViews[i]->chart();
        ChartViews[i]->setChart(AnalysisCharts::Create(kChartKinds[i], analysis, channel));
        delete old;
    }
}

void NoiseAnalysisWindow::UpdateSaveButton() {
    SaveImageBtn->setEnabled(!Analysing() && ShownAnalysis() != nullptr &&
                             Tabs->currentIndex() != kFigureTab);
}

void NoiseAnalysisWindow::SaveImageClick() {
    if (!SaveImageBtn->isEnabled()) {
        return;
    }
    const NoiseAnalysis& analysis = *ShownAnalysis();
    const QImage image = PictureCaption::For(sourcePath, ShownChannel(), analysis.sampleRate,
                                             fSinc5, analysis.statistics.count, measuredTime)
                             .Below(Tabs->currentWidget()->grab().toImage());
    const auto chosen = prompts.AskSaveFileName("PNG 画像 (*.png)", "*.png");
    if (!chosen || chosen->empty()) {
        return;
    }
    const QString fileName = WithPngExtension(QString::fromStdString(*chosen));
    if (QFile::exists(fileName) && !ConfirmOverwrite(prompts, fileName.toStdString())) {
        return;
    }
    // Through a temporary file: a failed write leaves an older picture whole.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        prompts.ShowMessage("SELKORAN Board", kSaveFailedText.toStdString(), PromptIcon::Error);
    }
}
