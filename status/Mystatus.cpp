// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/Mystatus.h"

#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QStatusBar>
#include <utility>

#include "status/StatusTexts.h"

namespace {

constexpr int kBoardPanel = 0;
constexpr int kMeasurePanel = 1;
constexpr int kReadoutPanel = 2;

// Panels narrower than this many pixels of text keep one common width.
constexpr int kNarrowTextWidth = 100;
constexpr int kPanelPadding = 5;
// Wide and tall enough for a line of the bar's text, whose glyphs are drawn there once.
constexpr int kGlyphScratchWidth = 1024;
constexpr int kGlyphScratchHeight = 32;

// A read-out for tests that see the window only from outside, as the emulated-chip harness
// does: when SELKORAN_STATUS_LOG names a file, every text a panel shows is appended to it as
// the panel number, a tab and the text. Off unless the variable is set.
void AppendToStatusLog(int index, const QString& text) {
    static const QString path = qEnvironmentVariable("SELKORAN_STATUS_LOG");
    QFile log(path);
    if (!path.isEmpty() && log.open(QIODevice::Append)) {
        log.write((QString::number(index) + '\t' + text + '\n').toUtf8());
    }
}

QString PanelName(int index) {
    return QStringLiteral("StatusPanel%1").arg(index);
}

}  // namespace

void TmyStatus::CreatePanels(QStatusBar& statusBar) {
    statusBar.setSizeGripEnabled(false);
    for (int i = 0; i < kPanelCount; ++i) {
        auto* panel = new QLabel(&statusBar);
        panel->setObjectName(PanelName(i));
        panel->setTextFormat(Qt::PlainText);  // never markup: not searched for tags each time
        panel->setFixedWidth(kStartPanelWidth);
        statusBar.addWidget(panel);
    }
}

void TmyStatus::KeepPanelHeights(QStatusBar& statusBar) {
    // A hidden bar may not have been laid out at its size yet: its panels keep free heights.
    if (!statusBar.isVisible() || statusBar.layout() == nullptr) {
        return;
    }
    statusBar.layout()->invalidate();
    statusBar.layout()->activate();
    for (int i = 0; i < kPanelCount; ++i) {
        QLabel* panel = Panel(statusBar, i);
        panel->setFixedHeight(panel->height());
    }
}

QLabel* TmyStatus::Panel(const QStatusBar& statusBar, int index) {
    return statusBar.findChild<QLabel*>(PanelName(index), Qt::FindDirectChildrenOnly);
}

int TmyStatus::PanelWidthFor(int textWidth) {
    return textWidth > kNarrowTextWidth ? textWidth + kPanelPadding
                                        : kNarrowTextWidth + kPanelPadding;
}

TmyStatus::TmyStatus(QStatusBar& bar, QString name, std::int32_t highestPanelIndex)
    : statusBar(bar), deviceName(std::move(name)), highestPanel(highestPanelIndex) {}

// Texts for panels above the highest index are dropped.
void TmyStatus::SetPanelText(const QString& text, int index) {
    if (index < 0 || index > highestPanel) {
        return;
    }
    QLabel* panel = Panel(statusBar, index);
    if (panel == nullptr) {
        return;
    }
    panel->setText(text);
    AppendToStatusLog(index, text);
    const int textWidth = QFontMetrics(statusBar.font()).horizontalAdvance(text);
    panel->setFixedWidth(PanelWidthFor(textWidth));
}

void TmyStatus::LoadRunTextGlyphs() const {
    // Every digit and sign the read-outs and statistics may show, in their own formats.
    const QString texts[] = {
        StatusTexts::Measuring(),
        StatusTexts::Starting(),
        StatusTexts::Finished(),
        StatusTexts::Stopped(),
        StatusTexts::MeasureError(),
        StatusTexts::ProgressTwo(1234567890, -1, 0),
        StatusTexts::CodeStatistics(1234567, -8901234, 5.6, 0),
        StatusTexts::VoltStatistics(1, 1234567.8, -9012345.6, 0.07),
    };
    QImage scratch(kGlyphScratchWidth, kGlyphScratchHeight, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&scratch);
    painter.setFont(statusBar.font());
    for (const QString& text : texts) {
        painter.drawText(0, kGlyphScratchHeight - 2, text);
    }
}

void TmyStatus::ShowBoardIdentity(const QString& name, const QString& version) {
    SetPanelText(StatusTexts::BoardIdentity(name, version), kBoardPanel);
}

void TmyStatus::ShowBoardNotFound() {
    SetPanelText(StatusTexts::BoardNotFound(deviceName), kBoardPanel);
}

void TmyStatus::ShowBoardNoResponse() {
    SetPanelText(StatusTexts::BoardNoResponse(deviceName), kBoardPanel);
}

void TmyStatus::ShowBoardError() {
    SetPanelText(StatusTexts::BoardError(deviceName), kBoardPanel);
}

void TmyStatus::ShowMeasuring() {
    SetPanelText(StatusTexts::Measuring(), kMeasurePanel);
}

void TmyStatus::ShowFinished() {
    SetPanelText(StatusTexts::Finished(), kMeasurePanel);
}

void TmyStatus::ShowStopped() {
    SetPanelText(StatusTexts::Stopped(), kMeasurePanel);
}

void TmyStatus::ShowLoaded() {
    SetPanelText(StatusTexts::Loaded(), kMeasurePanel);
}

void TmyStatus::ShowSaved() {
    SetPanelText(StatusTexts::Saved(), kMeasurePanel);
}

void TmyStatus::ShowStarting() {
    SetPanelText(StatusTexts::Starting(), kReadoutPanel);
}

void TmyStatus::ShowMeasureError() {
    SetPanelText(StatusTexts::MeasureError(), kReadoutPanel);
}

void TmyStatus::ClearReadout() {
    SetPanelText(QString(), kReadoutPanel);
}

void TmyStatus::ShowProgress(std::int32_t number, std::int32_t code) {
    SetPanelText(StatusTexts::Progress(number, code), kReadoutPanel);
}

void TmyStatus::ShowProgressTwo(std::int32_t number, std::int32_t ch0Code, std::int32_t ch1Code) {
    SetPanelText(StatusTexts::ProgressTwo(number, ch0Code, ch1Code), kReadoutPanel);
}

void TmyStatus::ShowCodeStatistics(std::int32_t maximum, std::int32_t minimum, double deviation,
                                   int channel) {
    SetPanelText(StatusTexts::CodeStatistics(maximum, minimum, deviation, channel), kReadoutPanel);
}

void TmyStatus::ShowVoltStatistics(int channel, double maximum, double minimum, double deviation) {
    SetPanelText(StatusTexts::VoltStatistics(channel, maximum, minimum, deviation), kReadoutPanel);
}

void TmyStatus::ShowStatistics(const Measurement& data, int channel, bool fVolt) {
    SetPanelText(StatusTexts::Statistics(data, channel, fVolt), kReadoutPanel);
}

void TmyStatus::ShowChannelSwitchHint(bool fBothChannels) {
    statusBar.setToolTip(fBothChannels ? StatusTexts::kChannelSwitchHint : QString());
}

void TmyStatus::ShowIdentifyFailure(Acquisition::StartResult result) {
    if (result == Acquisition::StartResult::NotFound) {
        ShowBoardNotFound();
    } else if (result == Acquisition::StartResult::NoResponse) {
        ShowBoardNoResponse();
    }
}
