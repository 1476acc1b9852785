// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/BoardUse.h"
#include "app/CompanionWindows.h"
#include "app/MainForm.h"
#include "app/RunView.h"
#include "common/MeasureSettings.h"
#include "graph/Graph_2ch.h"
#include "link/LinkTiming.h"
#include "measure/Acquisition.h"
#include "measure/Measurement.h"

class NoiseAnalysisWindow;
class Prompts;
class QPainter;
class RecordingWindow;
class TmyFile;
class TmyMessage;
class TmyStatus;

// The program's main window: the controls of its form, the graph, the status bar and the menus,
// and the handlers behind them. It owns its service objects (messages, status line, data file,
// graph); the acquisition engine it starts and stops, and the measurement it shows, are the
// program's. A run is one block read per look of the idle handler, which sleeps between looks
// until the board's driver announces data (RunView); no timer runs while the window is idle.
// The menus and settings are disabled during a run.
class TFormMain : public QMainWindow, public MainForm {
    Q_OBJECT
public:
    // `now` is the clock of the board's link, which measures the frames of the progress
    // read-out; `failCreating` names a service object whose creation fails as if memory had
    // run out (to exercise that path).
    TFormMain(Acquisition& acquisition, Measurement& measurement, Prompts& windowPrompts,
              std::function<LinkTiming::Clock::time_point()> now, const QString& failCreating = {});
    ~TFormMain() override;

    // False when creating a service object failed; the window must not be shown then.
    bool Constructed() const { return fConstructed; }

    // Events.
    void FormCreate();
    void FormResize();
    void FormPaint(QPainter& painter);
    void FormDestroy();
    void QuitBtnClick() { close(); }
    void Exit1Click() { close(); }
    void MeasureBtnClick();
    void IdleHandler();
    void Save1Click();
    void Load1Click();
    void DataClearClick();
    // Runs after the menu item has toggled its own check mark.
    void MenuY_VoltClick();
    void StatusBar1Click();
    void NoiseAnalysis1Click() { companions->ShowAnalysis(data); }
    // Any ".DTA" file or recording, analysed in the noise analysis window.
    void AnalyseFile1Click() { companions->AnalyseChosenFile(data); }
    void LongRecording1Click() { companions->ShowRecording(); }
    // Changing a setting takes effect at the next start, which reads the controls.
    void ComboBox1Change() {}
    void ComboBox2Change() {}
    void ComboBox3Change() {}
    void Sinc3_RBClick() {}
    void Sinc5_RBClick() {}

    // Read-only views for the program's own checks.
    const MeasureSettings& CurrentSettings() const { return data.Settings; }
    const ChannelSeries& Series(int channel) const { return data.Series(channel); }
    bool HasData(int channel) const { return data.HasData(channel); }
    bool Measuring() const { return fMeasuring; }
    bool BoardReady() const { return engine.BoardReady(); }
    bool StatisticsShowCh0() const { return fStatCh0; }
    const ChannelStatistics& Statistics(int channel) const { return data.Statistics(channel); }
    TGraph_2CH* GraphObject() const { return Graph.get(); }
    bool IdleWorkPending() const { return idleTimer.isActive() || runView.Armed(); }
    // Samples stored so far in the current (or last) run.
    std::int32_t Acquired() const { return static_cast<std::int32_t>(engine.Acquired()); }
    // The companion windows, once they have been opened.
    NoiseAnalysisWindow* AnalysisWindow() const { return companions->Analysis(); }
    RecordingWindow* Recording() const { return companions->Recording(); }
    // Who uses the board: the run or the recording window.
    const BoardUse& BoardUser() const { return boardUse; }

    // The name a save writes to: ".DTA" appended unless the name already ends in exactly it.
    static QString WithDataExtension(const QString& name);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectEvents();
    void CreateServices(const QString& failCreating);
    void SetDefaults();

    void DisableControls() { SetControlsEnabled(false, false); }
    // The measure button waits while the recording window has the board.
    void EnableControls() {
        SetControlsEnabled(true, boardUse.Holder() != BoardUse::User::Recording);
    }
    // All data of the channels with data, else the empty graph, in the current unit.
    void RedrawGraph();
    void ScheduleIdle();

    void StartRun();
    bool ConnectBoard();
    // The end of the window's run, as its view hears of it.
    void RunEnded(AcquisitionOutcome outcome);
    void ShowLoadedFile(const MeasureSettings& loaded, const QString& fileName);
    void ShowRunData();
    void ClearData();
    void ShowChannelStatistics(int channel);
    void ShowStatisticsOfSettingsChannel();
    void UpdateNoiseAnalysis();
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
    bool fRecordingHadBoard = false;  // the recording window used the board since the last run
    std::unique_ptr<TmyMessage> Messages;
    std::unique_ptr<TmyStatus> Status;
    std::unique_ptr<TGraph_2CH> Graph;
    std::unique_ptr<TmyFile> FileStore;
    BoardUse boardUse;
    std::function<LinkTiming::Clock::time_point()> clockNow;  // the board link's clock
    std::unique_ptr<CompanionWindows> companions;
    QTimer idleTimer;
    RunView runView;
};
