// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "analysis/NoiseAnalysis.h"
#include "app/BackgroundAnalysis.h"
#include "charts/AnalysisCharts.h"
#include "common/MeasureSettings.h"

class Prompts;
class QChartView;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QTimer;

// The noise analysis of the data on screen, one channel at a time: a non-modal window with a
// channel chooser and the tabs "数値" (every figure with its unit, the noise figures and under
// them those of a sine applied), "ヒストグラム", "スペクトル", "アラン偏差" and "FFT"
// (rubber-band zoom; a right click shows the whole chart again). It holds no
// samples: the main window hands it the data whenever they change (a run ends, a file loads,
// the data are cleared). A file the operator opens is analysed in arrays of the window's own;
// a recording on a thread of its own, the window showing its progress and a button that stops
// it meanwhile, so it stays responsive however long the recording is.
class NoiseAnalysisWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString kTitle = QStringLiteral("SELKORAN / ノイズ解析");
    static inline const QString kNoDataText = QStringLiteral("データがありません");
    static inline const QString kSaveFailedText = QStringLiteral("画像を保存できませんでした");
    static inline const QString kBadFileText =
        QStringLiteral("データファイルの内容が正しくありませんでした");
    static inline const QString kTemporaryFileText =
        QStringLiteral("解析用の一時ファイルを書けませんでした");
    static inline const QString kBoxCaption = QStringLiteral("SELKORAN Board");
    static inline const QString kOpenFilter =
        QStringLiteral("データファイル (*.DTA *.csv *.h5 *.hdf5)");
    static inline const QString kAnalysingText = QStringLiteral("記録を解析しています：");
    static inline const QString kCancelText = QStringLiteral("中止");
    static constexpr int kFigureTab = 0;

    // A window of its own above `parent`.
    NoiseAnalysisWindow(Prompts& windowPrompts, QWidget* parent);
    ~NoiseAnalysisWindow() override;

    // The codes of each channel with data, nothing for a channel without.
    using ChannelCodes = std::optional<std::span<const std::int32_t>>;
    void ShowData(const MeasureSettings& settings, ChannelCodes ch0, ChannelCodes ch1);
    // A recording (CSV or HDF5), read as the command line's analysis reads it (any length, with
    // bounded memory), in the background; its name stands in the title until the data on
    // screen change. A file that cannot be analysed says why in place of the tabs.
    void ShowRecording(const QString& path);
    // A ".DTA" file or a recording, as the operator chose it; a file that cannot be analysed
    // leaves what is shown and says why in a box.
    void ShowFile(const QString& path);
    // A recording is being analysed: its progress stands in place of the tabs until it ends or
    // the operator stops it ("中止", which brings back what was shown before).
    bool Analysing() const { return running != nullptr; }
    void CancelClick();

    // The channel shown (-1 with no data) and the analysis behind it (none below 2 samples).
    int ShownChannel() const;
    const NoiseAnalysis* ShownAnalysis() const;
    // What stands in place of the tabs; empty while they are shown.
    QString NoticeText() const;

    // "画像を保存...": the chart of the current tab as a PNG file, captioned with the data
    // (PictureCaption), written through a temporary file so a failure leaves an older picture
    // whole; an existing file only after the overwrite question.
    void SaveImageClick();

    QComboBox* ChannelBox = nullptr;
    QPushButton* SaveImageBtn = nullptr;
    QTabWidget* Tabs = nullptr;
    QTableWidget* FigureTable = nullptr;
    QLabel* FigureNote = nullptr;             // what the missing codes count
    std::array<QChartView*, 4> ChartViews{};  // histogram, spectrum, Allan deviation, FFT
    QProgressBar* AnalysisBar = nullptr;      // 0 .. 1000
    QPushButton* CancelBtn = nullptr;

private:
    void BuildLayout();
    QWidget* BuildProgressPage();
    // The data file's analysis or why there is none (a reason is empty when the content is at
    // fault).
    std::optional<QString> ShowDataFile(const QString& path);
    // The recording's analysis begun; a failure goes to a box (fPrompt) or in place of the tabs.
    void StartRecording(const QString& path, bool fPrompt);
    void StopRecording();
    void RecordingAnalysed();
    std::optional<QString> ShowRecordingFile(const QString& path,
                                             BackgroundAnalysis::Outcome outcome);
    void ShowAnalyses(std::array<bool, 2> present);
    void ShowChannel();
    void ShowNotice(const QString& text);
    void ShowFigures(const NoiseAnalysis& analysis);
    void ShowCharts(const NoiseAnalysis& analysis, int channel);
    void UpdateSaveButton();

    Prompts& prompts;
    std::array<std::optional<NoiseAnalysis>, 2> analyses;
    // Where the analyses came from, for the pictures' caption: a file, or data measured then.
    QString sourcePath;
    QDateTime measuredTime;
    bool fSinc5 = true;
    QStackedWidget* pages = nullptr;
    QLabel* notice = nullptr;
    QWidget* progressPage = nullptr;
    QLabel* progressText = nullptr;
    QTimer* progressTimer = nullptr;
    std::unique_ptr<BackgroundAnalysis> running;
    QString runningPath;
    bool fPromptFailure = false;
};
