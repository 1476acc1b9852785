// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>

#include "app/BoardUse.h"
#include "app/FrameLimiter.h"
#include "app/RunWake.h"
#include "common/MeasureSettings.h"
#include "graph/Graph_2ch.h"
#include "link/LinkTiming.h"
#include "measure/Acquisition.h"
#include "measure/Measurement.h"
#include "measure/WatchingSink.h"

class AnchorLayout;
class GraphPanel;
class NoiseAnalysisWindow;
class PaintBox;
class RecordingWindow;
class Prompts;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPainter;
class QPushButton;
class QRadioButton;
class QStatusBar;
class TmyFile;
class TmyMessage;
class TmyStatus;

// The program's main window: settings controls, the graph, the measure and quit buttons, the
// status bar and the menus. It owns its service objects (messages, status line, data file,
// graph); the acquisition engine it starts and stops, and the measurement it shows, are the
// program's.
class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 792;
    static constexpr int kClientHeight = 458;
    static constexpr int kBorderWidth = 0;
    static inline const QString kStartCaption = QStringLiteral("測定開始");
    static inline const QString kStopCaption = QStringLiteral("測定停止");

    // `now` is the clock of the board's link, which measures the frames of the progress
    // read-out; `failCreating` names a service object whose creation fails as if memory had
    // run out (to exercise that path).
    TFormMain(Acquisition& acquisition, Measurement& measurement, Prompts& windowPrompts,
              std::function<LinkTiming::Clock::time_point()> now, const QString& failCreating = {});
    ~TFormMain() override;

    // The board's waits measure time on the monotonic clock and sleep in the event loop until
    // the board answers, so the window stays alive.
    static LinkTiming WindowTiming();
    // False when creating a service object failed; the window must not be shown then.
    bool Constructed() const { return fConstructed; }

    // Controls.
    PaintBox* PaintBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr;
    QFrame* Panel2 = nullptr;
    QRadioButton* Sinc3_RB = nullptr;
    QRadioButton* Sinc5_RB = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QPushButton* MeasureBtn = nullptr;
    QPushButton* QuitBtn = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QMenu* File1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Data1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* Load1 = nullptr;
    QAction* N1 = nullptr;
    QAction* DataClear = nullptr;
    QMenu* MenuY = nullptr;
    QAction* MenuY_Volt = nullptr;
    QMenu* Analysis1 = nullptr;
    QAction* NoiseAnalysis1 = nullptr;
    QAction* AnalyseFile1 = nullptr;
    QAction* LongRecording1 = nullptr;

    // Events.
    void FormCreate();
    void FormResize();
    void FormPaint(QPainter& painter);
    void FormDestroy();
    void QuitBtnClick();
    void Exit1Click();
    void MeasureBtnClick();
    void IdleHandler();
    void Save1Click();
    void Load1Click();
    void DataClearClick();
    // Runs after the menu item has toggled its own check mark.
    void MenuY_VoltClick();
    void StatusBar1Click();
    void NoiseAnalysis1Click();
    // Any ".DTA" file or recording, analysed in the noise analysis window.
    void AnalyseFile1Click();
    void LongRecording1Click();
    void ComboBox1Change();
    void ComboBox2Change();
    void ComboBox3Change();
    void Sinc3_RBClick();
    void Sinc5_RBClick();

    // Read-only views for the program's own checks.
    const MeasureSettings& CurrentSettings() const { return data.Settings; }
    const ChannelSeries& Series(int channel) const { return data.Series(channel); }
    bool HasData(int channel) const { return data.HasData(channel); }
    bool Measuring() const { return fMeasuring; }
    bool BoardReady() const { return engine.BoardReady(); }
    bool StatisticsShowCh0() const { return fStatCh0; }
    const ChannelStatistics& Statistics(int channel) const { return data.Statistics(channel); }
    TGraph_2CH* GraphObject() const { return Graph.get(); }
    bool IdleWorkPending() const { return idleTimer.isActive() || runWake.Armed(); }
    // Samples stored so far in the current (or last) run.
    std::int32_t Acquired() const { return static_cast<std::int32_t>(engine.Acquired()); }
    // The noise analysis window, once it has been opened.
    NoiseAnalysisWindow* AnalysisWindow() const { return noiseAnalysis; }
    // The recording window, once it has been opened.
    RecordingWindow* Recording() const { return recording; }
    // Who uses the board: the run or the recording window.
    const BoardUse& BoardUser() const { return boardUse; }

    // The name a save writes to: ".DTA" appended unless the name already ends in exactly it.
    static QString WithDataExtension(const QString& name);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildLayout();
    void BuildMenus();
    QLabel* AddLabel(const QString& text, QRect design, int anchors);
    void CreateServices(const QString& failCreating);
    void SetDefaults();

    void UpdateTitle(const QString& fileName);
    void DisableControls();
    void EnableControls();
    void SetControlsEnabled(bool enabled);
    // The settings the controls show, on top of those of the data on screen.
    MeasureSettings ReadSettingsFromControls() const;
    void ShowSettingsInControls();
    void RelayoutStatusBar();
    void ScheduleIdle();
    bool VoltMode() const;

    void StartRun();
    bool ConnectBoard();
    // The run's view, as the engine's last sink: its start, each block, its end.
    void RunBegun();
    void BlockTaken();
    void RunEnded(AcquisitionOutcome outcome);
    void PlotProgress();
    void ShowProgressReadout();
    void ScheduleRunWake();
    void EndRunWaits();
    void ShowLoadedFile(const MeasureSettings& loaded, const QString& fileName);
    void ShowRunData();
    void ClearData();
    void ShowChannelStatistics(int channel);
    void ShowStatisticsOfSettingsChannel();
    void UpdateNoiseAnalysis();
    NoiseAnalysisWindow* OpenNoiseAnalysis();
    void AnalyseRecording(const QString& path);
    void BoardUseChanged();
    void EndBoardUse();

    Acquisition& engine;
    Measurement& data;
    Prompts& prompts;
    bool fConstructed = false;
    bool fStatCh0 = false;
    bool fStatusLayoutPending = false;
    bool fFirstIdle = true;
    bool fMeasuring = false;          // the window's own run is going
    bool fHadData = false;            // data were on screen when the run began
    bool fRecordingHadBoard = false;  // the recording window used the board since the last run
    std::unique_ptr<TmyMessage> Messages;
    std::unique_ptr<TmyStatus> Status;
    std::unique_ptr<TGraph_2CH> Graph;
    std::unique_ptr<TmyFile> FileStore;
    std::int32_t NextPlotIndex = 0;
    WatchingSink runView;
    std::unique_ptr<GraphPanel> graphPanel;  // the paint box and the graph's axis labels

    std::unique_ptr<AnchorLayout> anchors;
    QWidget* client = nullptr;
    NoiseAnalysisWindow* noiseAnalysis = nullptr;  // a child window, made when first asked for
    RecordingWindow* recording = nullptr;          // likewise
    BoardUse boardUse;
    std::function<LinkTiming::Clock::time_point()> clockNow;  // the board link's clock
    QTimer idleTimer;
    RunWake runWake{[this] { IdleHandler(); }};
    FrameLimiter progressReadout;  // the progress text, once per display frame
};
