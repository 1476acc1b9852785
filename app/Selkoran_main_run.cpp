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
        runView.Arm();  // after every look
    }
    if (fFirstIdle) {
        fFirstIdle = false;
        MeasureBtn->setFocus();
        Graph->DrawEmpty(VoltMode());
        Status->LoadRunTextGlyphs();
    }
    if (fStatusLayoutPending) {
        fStatusLayoutPending = false;
        RelayoutStatusBar();
    }
    ScheduleIdle();
}

void TFormMain::ScheduleIdle() {
    // The idle handler runs only while it has work: no timer ticks in an idle window.
    if (!fFirstIdle && !fStatusLayoutPending) {
        idleTimer.stop();
    } else if (!idleTimer.isActive()) {
        idleTimer.start(0);
    }
    if (!fMeasuring) {
        runView.Disarm();
    } else if (!runView.Armed()) {
        runView.Arm();
    }
}

void TFormMain::MeasureBtnClick() {
    const QString caption = MeasureBtn->text();
    if (caption == kStartCaption) {
        StartRun();
    } else if (caption == kStopCaption) {
        runView.Disarm();
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
    runView.Prepare(data.HasData(0) || data.HasData(1));
    // The data on screen keep their own settings until the board has taken the new ones.
    const MeasureSettings next = ReadSettingsFromControls(data.Settings);
    if (engine.Start({.settings = next, .count = kSampleCounts[next.DataCountSel]},
                     {&data, &runView}) != Acquisition::StartResult::Started) {
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
    ScheduleIdle();
}

bool TFormMain::ConnectBoard() {
    const Acquisition::StartResult result = engine.Identify();
    Messages->StartFailed(result);
    Status->ShowIdentifyFailure(result);
    if (result == Acquisition::StartResult::Started) {
        Status->ShowBoardIdentity(QString::fromStdString(engine.Info().boardName),
                                  QString::fromStdString(engine.Info().boardVersion));
    }
    return result == Acquisition::StartResult::Started;
}

// The run is over: the recording window may have the board, and the controls come back.
void TFormMain::EndBoardUse() {
    boardUse.Release(BoardUse::User::Run);
    EnableControls();
}

void TFormMain::RunEnded(AcquisitionOutcome outcome) {
    fMeasuring = false;
    const bool fComplete = outcome == AcquisitionOutcome::Complete;
    if (fComplete && data.Settings.CHSel == 2) {
        Status->ShowFinished();
    } else if (outcome == AcquisitionOutcome::Stopped) {
        Status->ShowStopped();
    } else if (!fComplete) {
        Status->ShowMeasureError();  // a failed read: the run's samples are let go
    }
    const bool fShown = HasData(0) || HasData(1);  // a stop keeps them from 10 samples on
    fShown ? ShowRunData() : UpdateNoiseAnalysis();
    MeasureBtn->setText(kStartCaption);
    EndBoardUse();
    if (fComplete) {
        Status->ShowFinished();
    }
    if (fShown) {
        ShowStatisticsOfSettingsChannel();
    } else {
        Status->ShowChannelSwitchHint(false);
        if (outcome == AcquisitionOutcome::Stopped) {
            Status->ClearReadout();
        }
    }
}

void TFormMain::ShowRunData() {
    Graph->DrawAll(VoltMode());
    UpdateNoiseAnalysis();
}

void TFormMain::ClearData() {
    data.Clear();
    Status->ShowChannelSwitchHint(false);
    UpdateNoiseAnalysis();
}

void TFormMain::ShowChannelStatistics(int channel) {
    Status->ShowStatistics(data, channel, VoltMode());
    Status->ShowChannelSwitchHint(HasData(0) && HasData(1));
}

void TFormMain::ShowStatisticsOfSettingsChannel() {
    fStatCh0 = data.Settings.CHSel != 1;
    ShowChannelStatistics(data.Settings.CHSel == 1 ? 1 : 0);
}
