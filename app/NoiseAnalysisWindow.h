// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "analysis/NoiseAnalysis.h"
#include "charts/AnalysisCharts.h"
#include "common/MeasureSettings.h"

class Prompts;
class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTableWidget;

// The noise analysis of the data on screen, one channel at a time: a non-modal window with a
// channel chooser and the tabs "数値" (every figure with its unit, the noise figures and under
// them those of a sine applied), "ヒストグラム", "スペクトル", "アラン偏差" and "FFT"
// (rubber-band zoom; a right click shows the whole chart again). It holds no
// samples: the main window hands it the data whenever they change (a run ends, a file loads,
// the data are cleared). A file the operator opens is analysed in arrays of the window's own.
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
    static constexpr int kFigureTab = 0;

    // A window of its own above `parent`.
    NoiseAnalysisWindow(Prompts& windowPrompts, QWidget* parent);

    // The codes of each channel with data, nothing for a channel without.
    using ChannelCodes = std::optional<std::span<const std::int32_t>>;
    void ShowData(const MeasureSettings& settings, ChannelCodes ch0, ChannelCodes ch1);
    // A recording (CSV or HDF5), read as the command line's analysis reads it (any length, with
    // bounded memory); its name stands in the title until the data on screen change. A file
    // that cannot be analysed says why in place of the tabs.
    void ShowRecording(const QString& path);
    // A ".DTA" file or a recording, as the operator chose it; a file that cannot be analysed
    // leaves what is shown and says why in a box.
    void ShowFile(const QString& path);

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

private:
    void BuildLayout();
    // The data file's analysis or why there is none (a reason is empty when the content is at
    // fault).
    std::optional<QString> ShowDataFile(const QString& path);
    std::optional<QString> ShowRecordingFile(const QString& path);
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
};
