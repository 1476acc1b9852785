// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/Mystatus.h"

#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>
#include <utility>

#include "common/FixedText.h"

namespace {

constexpr int kBoardPanel = 0;
constexpr int kMeasurePanel = 1;
constexpr int kReadoutPanel = 2;

// Panels narrower than this many pixels of text keep one common width.
constexpr int kNarrowTextWidth = 100;
constexpr int kPanelPadding = 5;

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

QString Decimal(std::int64_t value) {
    return QString::number(value);
}

QString Fixed(double value, int decimals) {
    return QString::fromStdString(FixedText(value, decimals));
}

// A code deviation shows two decimals below 10, else one.
int CodeDeviationDecimals(double deviation) {
    return deviation >= 10.0 ? 1 : 2;
}

// All four microvolt numbers take the decimals the deviation calls for.
int VoltDecimals(double deviation) {
    if (deviation >= 100.0) {
        return 0;
    }
    return deviation >= 10.0 ? 1 : 2;
}

QString StatisticsHead(int channel) {
    return QStringLiteral("CH") + Decimal(channel) + QStringLiteral(" : 最大値：");
}

}  // namespace

void TmyStatus::CreatePanels(QStatusBar& statusBar) {
    statusBar.setSizeGripEnabled(false);
    for (int i = 0; i < kPanelCount; ++i) {
        auto* panel = new QLabel(&statusBar);
        panel->setObjectName(PanelName(i));
        panel->setFixedWidth(kStartPanelWidth);
        statusBar.addWidget(panel);
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

void TmyStatus::ShowBoardIdentity(const QString& name, const QString& version) {
    SetPanelText(name + QStringLiteral(" / ") + version, kBoardPanel);
}

void TmyStatus::ShowBoardNotFound() {
    SetPanelText(deviceName + QStringLiteral(" が見つかりませんでした"), kBoardPanel);
}

// No particle before the verb here, unlike the other two connection texts.
void TmyStatus::ShowBoardNoResponse() {
    SetPanelText(deviceName + QStringLiteral(" 応答しませんでした"), kBoardPanel);
}

QString TmyStatus::BoardErrorText(const QString& deviceName) {
    return deviceName + QStringLiteral(" がエラーです");
}

void TmyStatus::ShowBoardError() {
    SetPanelText(BoardErrorText(deviceName), kBoardPanel);
}

void TmyStatus::ShowMeasuring() {
    SetPanelText(QStringLiteral("計測中です"), kMeasurePanel);
}

void TmyStatus::ShowFinished() {
    SetPanelText(QStringLiteral("計測終了しました"), kMeasurePanel);
}

QString TmyStatus::StoppedText() {
    return QStringLiteral("計測中止しました");
}

void TmyStatus::ShowStopped() {
    SetPanelText(StoppedText(), kMeasurePanel);
}

void TmyStatus::ShowLoaded() {
    SetPanelText(QStringLiteral("データファイル読み込みました"), kMeasurePanel);
}

void TmyStatus::ShowSaved() {
    SetPanelText(QStringLiteral("データファイルを保存しました"), kMeasurePanel);
}

void TmyStatus::ShowStarting() {
    SetPanelText(QStringLiteral("測定開始処理中です。。。"), kReadoutPanel);
}

QString TmyStatus::MeasureErrorText() {
    return QStringLiteral("計測エラーで終了");
}

void TmyStatus::ShowMeasureError() {
    SetPanelText(MeasureErrorText(), kReadoutPanel);
}

void TmyStatus::ClearReadout() {
    SetPanelText(QString(), kReadoutPanel);
}

void TmyStatus::ShowProgress(std::int32_t number, std::int32_t code) {
    SetPanelText(QStringLiteral("データ番号：") + Decimal(number) +
                     QStringLiteral(" / AD変換値：") + Decimal(code),
                 kReadoutPanel);
}

void TmyStatus::ShowProgressTwo(std::int32_t number, std::int32_t ch0Code, std::int32_t ch1Code) {
    SetPanelText(QStringLiteral("データ番号：") + Decimal(number) +
                     QStringLiteral(" / AD変換値：") + Decimal(ch0Code) + QStringLiteral(" / ") +
                     Decimal(ch1Code),
                 kReadoutPanel);
}

QString TmyStatus::CodeStatisticsText(std::int32_t maximum, std::int32_t minimum, double deviation,
                                      int channel) {
    const std::int64_t peakToPeak = std::int64_t{maximum} - minimum;
    return StatisticsHead(channel) + Decimal(maximum) + QStringLiteral(" / 最小値：") +
           Decimal(minimum) + QStringLiteral(" / pp値：") + Decimal(peakToPeak) +
           QStringLiteral(" digit / 標準偏差：") +
           Fixed(deviation, CodeDeviationDecimals(deviation)) + QStringLiteral(" digit");
}

void TmyStatus::ShowCodeStatistics(std::int32_t maximum, std::int32_t minimum, double deviation,
                                   int channel) {
    SetPanelText(CodeStatisticsText(maximum, minimum, deviation, channel), kReadoutPanel);
}

// The peak-to-peak value comes from the values as passed, not from their rounded texts.
QString TmyStatus::VoltStatisticsText(int channel, double maximum, double minimum,
                                      double deviation) {
    const int decimals = VoltDecimals(deviation);
    const double peakToPeak = maximum - minimum;
    return StatisticsHead(channel) + Fixed(maximum, decimals) + QStringLiteral("[uV] / 最小値：") +
           Fixed(minimum, decimals) + QStringLiteral("[uV] / pp値：") +
           Fixed(peakToPeak, decimals) + QStringLiteral("[uV] / 標準偏差：") +
           Fixed(deviation, decimals) + QStringLiteral("[uV]");
}

void TmyStatus::ShowVoltStatistics(int channel, double maximum, double minimum, double deviation) {
    SetPanelText(VoltStatisticsText(channel, maximum, minimum, deviation), kReadoutPanel);
}

QString TmyStatus::StatisticsText(const Measurement& data, int channel, bool fVolt) {
    const Measurement::Extremes extremes = data.ExtremesOf(channel);
    const ChannelStatistics& stats = data.Statistics(channel);
    if (fVolt) {
        return VoltStatisticsText(channel, extremes.maxMicrovolts, extremes.minMicrovolts,
                                  stats.MicrovoltStdDev);
    }
    return CodeStatisticsText(extremes.maxCode, extremes.minCode, stats.CodeStdDev, channel);
}

void TmyStatus::ShowStatistics(const Measurement& data, int channel, bool fVolt) {
    SetPanelText(StatisticsText(data, channel, fVolt), kReadoutPanel);
}

void TmyStatus::ShowChannelSwitchHint(bool fBothChannels) {
    statusBar.setToolTip(fBothChannels ? kChannelSwitchHint : QString());
}

void TmyStatus::ShowIdentifyFailure(Acquisition::StartResult result) {
    if (result == Acquisition::StartResult::NotFound) {
        ShowBoardNotFound();
    } else if (result == Acquisition::StartResult::NoResponse) {
        ShowBoardNoResponse();
    }
}
