// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RecordingView.h"

#include <QComboBox>
#include <QLabel>
#include <QTableWidget>

#include "analysis/NoiseFigureTable.h"
#include "analysis/NoiseStatistics.h"
#include "app/RecordingForm.h"
#include "common/SampleRates.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kRefreshInterval = 250ms;  // the chart, at most this often
constexpr auto kClockTick = 1s;
constexpr auto kFigureInterval = 500ms;

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

}  // namespace

RecordingView::RecordingView(RecordingForm& recordingForm, const Recorder& recording,
                             NowFunction nowFunction)
    : form(recordingForm),
      recorder(recording),
      now(nowFunction),
      refresh(
          std::move(nowFunction), [this] { ShowProgressOnData(); }, kRefreshInterval) {
    form.Chart().SetReadBack([this](std::int64_t first, std::int64_t last,
                                    std::array<std::vector<std::int32_t>, 2>& codes) {
        return recorder.ReadBack(first, last, codes);
    });
    connect(form.SpanBox, &QComboBox::currentIndexChanged, this, &RecordingView::FollowSpan);
    connect(form.FigureSpanBox, &QComboBox::currentIndexChanged, this, &RecordingView::ShowFigures);
    connect(&clock, &QTimer::timeout, this, &RecordingView::ShowProgressText);
}

void RecordingView::Begin(const Recorder::Request& request) {
    const MeasureSettings& settings = request.run.settings;
    sampleRate = SampleRates::SamplesPerSecond(settings);
    for (SampleEnvelope& envelope : envelopes) {
        envelope.Clear();
    }
    form.Chart().Begin(sampleRate, {settings.CHSel != 1 ? &envelopes[0] : nullptr,
                                    settings.CHSel != 0 ? &envelopes[1] : nullptr});
    form.FigureTable->setRowCount(0);
    form.FigureTable->setColumnHidden(1, settings.CHSel == 1);
    form.FigureTable->setColumnHidden(2, settings.CHSel == 0);
    form.ProgressLabel->clear();  // the line belongs to the recording on screen
    FollowSpan();
}

void RecordingView::Started() {
    started = now();
    if (recorder.Recording()) {
        clock.start(kClockTick);
        ShowProgress();
    }
}

void RecordingView::Ended() {
    clock.stop();
    refresh.Cancel();
    ended = now();
    figuresShown = {};
    form.Chart().Settle();
    ShowProgress();
}

void RecordingView::TakeBlock(const SampleBlock& block) {
    envelopes[0].Add(block.ch0);
    envelopes[1].Add(block.ch1);
    refresh.Request();
}

// Shown in the wake that brought the data, so a slow recording wakes once per block. The
// clock ticks only when no block has come for a second (a stalled board); the texts are
// never more than a second apart, so the elapsed time never skips a second.
void RecordingView::ShowProgressOnData() {
    ShowProgress();
    if (clock.isActive()) {
        clock.start(kClockTick);
    }
}

// Cells keep their items; a text that stays the same costs nothing.
void RecordingView::SetCell(int row, int column, const std::string& text, const std::string& note) {
    const QString shown = QString::fromStdString(text);
    QTableWidgetItem* item = form.FigureTable->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        form.FigureTable->setItem(row, column, item);
    }
    if (item->text() != shown) {
        item->setText(shown);
        item->setToolTip(QString::fromStdString(note));
    }
}

void RecordingView::FollowSpan() {
    form.Chart().Follow(form.ChartSpan());
}

void RecordingView::ShowProgress() {
    form.Chart().Refresh();
    if (now() - figuresShown >= kFigureInterval) {
        ShowFigures();
    }
    ShowProgressText();
}

// The time left only while recording: an ended recording has none, complete or not.
void RecordingView::ShowProgressText() {
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
    form.ProgressLabel->setText(text + QStringLiteral("　ファイル ") +
                                SizeText(recorder.FileSize()));
}

void RecordingView::ShowFigures() {
    figuresShown = now();
    const std::size_t most = form.FigureSpan();
    QTableWidget& table = *form.FigureTable;
    for (int channel = 0; channel < 2; ++channel) {
        envelopes[static_cast<std::size_t>(channel)].Recent(most, figureCodes);
        if (figureCodes.size() < 2) {
            continue;
        }
        const auto rows =
            NoiseFigureTable::StatisticsRows(NoiseStatistics::Compute(figureCodes, sampleRate));
        table.setRowCount(static_cast<int>(rows.size()));
        for (int row = 0; row < table.rowCount(); ++row) {
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
