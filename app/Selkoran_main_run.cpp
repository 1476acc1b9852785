// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Selkoran_main.h"

#include <QComboBox>
#include <QPushButton>
#include <utility>

#include "messages/Mymessage.h"
#include "status/Mystatus.h"

// The window's part of a measurement run: the engine identifies, configures and reads the
// blocks into the measurement; the window starts and stops it, wakes it when the board's driver
// announces data, and shows the progress, the end and the statistics.

void TFormMain::IdleHandler() {
    if (fMeasuring) {
        engine.Wake();  // one block read; the run's view hears of the block and of the end
    }
    if (fMeasuring) {
        ScheduleRunWake();  // after every look
    }
    if (fFirstIdle) {
        fFirstIdle = false;
        MeasureBtn->setFocus();
        Graph->DrawEmpty(VoltMode());
    }
    if (fStatusLayoutPending) {
        fStatusLayoutPending = false;
        RelayoutStatusBar();
    }
    ScheduleIdle();
}

void TFormMain::ScheduleIdle() {
    // The idle handler runs only while it has work: no timer ticks in an idle window.
    if (fFirstIdle || fStatusLayoutPending) {
        if (!idleTimer.isActive()) {
            idleTimer.start(0);
        }
    } else {
        idleTimer.stop();
    }
    if (!fMeasuring) {
        runWake.Disarm();
    } else if (!runWake.Armed()) {
        ScheduleRunWake();
    }
}

void TFormMain::ScheduleRunWake() {
    const BlockWait::Sleep next = engine.NextWait();
    runWake.Arm(next.fd, next.duration);
}

void TFormMain::EndRunWaits() {
    // Before the board may be closed: nothing may watch its descriptor any more, and no
    // late progress text may cover the run's last read-out.
    runWake.Disarm();
    progressReadout.Cancel();
}

void TFormMain::MeasureBtnClick() {
    const QString caption = MeasureBtn->text();
    if (caption == kStartCaption) {
        StartRun();
    } else if (caption == kStopCaption) {
        EndRunWaits();
        engine.Stop();  // the run's view shows the end
    }
}

void TFormMain::StartRun() {
    if (!boardUse.Take(BoardUse::User::Run)) {
        return;  // the recording window has the board
    }
    DisableControls();
    if (std::exchange(fRecordingHadBoard, false)) {
        engine.ForgetBoard();
    }
    if (!engine.BoardReady() && !ConnectBoard()) {
        EndBoardUse();
        Status->ShowBoardNotFound();
        return;
    }
    fHadData = data.HasData(0) || data.HasData(1);
    // The data on screen keep their own settings until the board has taken the new ones.
    const MeasureSettings next = ReadSettingsFromControls();
    if (engine.Start({next, kSampleCounts[next.DataCountSel]}, {&data, &runView}) !=
        Acquisition::StartResult::Started) {
        EndBoardUse();
        Status->ShowBoardError();
        return;
    }
    fMeasuring = true;
    MeasureBtn->setText(kStopCaption);
    Status->ShowMeasuring();
    Status->ShowStarting();
    MeasureBtn->setEnabled(true);
    UpdateTitle({});
    NextPlotIndex = 0;
    ScheduleIdle();
}

bool TFormMain::ConnectBoard() {
    const Acquisition::StartResult result = engine.Identify();
    Messages->StartFailed(result);
    switch (result) {
        case Acquisition::StartResult::Started:
            Status->ShowBoardIdentity(QString::fromStdString(engine.Info().boardName),
                                      QString::fromStdString(engine.Info().boardVersion));
            return true;
        case Acquisition::StartResult::NotFound:
            Status->ShowBoardNotFound();
            return false;
        case Acquisition::StartResult::NoResponse:
            Status->ShowBoardNoResponse();
            return false;
        default:
            return false;
    }
}

// The run is over: the recording window may have the board, and the controls come back.
void TFormMain::EndBoardUse() {
    boardUse.Release(BoardUse::User::Run);
    EnableControls();
}

// The previous data disappear from the graph as the run begins; its scales stay.
void TFormMain::RunBegun() {
    if (fHadData) {
        Graph->DrawAxes(VoltMode());
    }
    ClearData();
}

void TFormMain::BlockTaken() {
    if (engine.Acquired() >= engine.Total()) {
        return;  // the run's end shows the rest
    }
    progressReadout.Request();
    PlotProgress();
}

void TFormMain::ShowProgressReadout() {
    const auto count = static_cast<std::int32_t>(engine.Acquired());
    const int newest = count - 1;
    if (data.Settings.CHSel == 2) {
        Status->ShowProgressTwo(count, data.Series(0).Codes[newest], data.Series(1).Codes[newest]);
    } else {
        Status->ShowProgress(count, data.Series(data.Settings.CHSel).Codes[newest]);
    }
}

void TFormMain::PlotProgress() {
    // Slow, long runs are drawn 100 samples at a time while they go on.
    if (data.Settings.spsSel <= 6 && data.Settings.DataCountSel >= 3 &&
        engine.Acquired() >= NextPlotIndex + 100) {
        data.ConvertRange(NextPlotIndex, NextPlotIndex + 99);
        Graph->DrawWindow(VoltMode(), NextPlotIndex, NextPlotIndex + 99);
        NextPlotIndex += 100;
    }
}

void TFormMain::RunEnded(AcquisitionOutcome outcome) {
    EndRunWaits();
    fMeasuring = false;
    switch (outcome) {
        case AcquisitionOutcome::Complete:
            if (data.Settings.CHSel == 2) {
                Status->ShowFinished();
            }
            ShowRunData();
            MeasureBtn->setText(kStartCaption);
            EndBoardUse();
            Status->ShowFinished();
            ShowStatisticsOfSettingsChannel();
            return;
        case AcquisitionOutcome::Stopped:
            Status->ShowStopped();
            if (data.HasData(0) || data.HasData(1)) {
                ShowRunData();
                ShowStatisticsOfSettingsChannel();
            } else {
                UpdateNoiseAnalysis();
                Status->ClearReadout();
            }
            break;
        default:  // a failed read: the run's samples are let go
            Status->ShowMeasureError();
            UpdateNoiseAnalysis();
            break;
    }
    MeasureBtn->setText(kStartCaption);
    EndBoardUse();
}

void TFormMain::ShowRunData() {
    Graph->DrawAll(VoltMode());
    UpdateNoiseAnalysis();
}

void TFormMain::ClearData() {
    data.Clear();
    UpdateNoiseAnalysis();
}

void TFormMain::ShowChannelStatistics(int channel) {
    const ChannelStatistics& stats = data.Statistics(channel);
    if (VoltMode()) {
        const float maximum = channel == 0 ? Graph->MaxMicrovoltsCH0() : Graph->MaxMicrovoltsCH1();
        const float minimum = channel == 0 ? Graph->MinMicrovoltsCH0() : Graph->MinMicrovoltsCH1();
        Status->ShowVoltStatistics(channel, maximum, minimum, stats.MicrovoltStdDev);
    } else {
        const std::int32_t maximum = channel == 0 ? Graph->MaxCodeCH0() : Graph->MaxCodeCH1();
        const std::int32_t minimum = channel == 0 ? Graph->MinCodeCH0() : Graph->MinCodeCH1();
        Status->ShowCodeStatistics(maximum, minimum, stats.CodeStdDev, channel);
    }
}

void TFormMain::ShowStatisticsOfSettingsChannel() {
    fStatCh0 = data.Settings.CHSel != 1;
    ShowChannelStatistics(data.Settings.CHSel == 1 ? 1 : 0);
}
