// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Selkoran_main.h"

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "link/Ad7172.h"
#include "measure/BoardSession.h"
#include "messages/Mymessage.h"
#include "status/Mystatus.h"

// The window's measurement run: identification, configuration, one block per look (the run
// sleeps in between until the board's driver announces data), progress, the end of a run and
// its statistics.

void TFormMain::IdleHandler() {
    if (fMeasuring) {
        if (Settings.CHSel == 0 || Settings.CHSel == 1) {
            AcquireOneChannelBlock();
        } else {
            AcquireTwoChannelBlock();
        }
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
    BoardSession::RunRequest run;
    run.fSinc5 = Settings.fSinc5;
    run.spsSel = Settings.spsSel;
    run.chSel = Settings.CHSel;
    const BlockWait::Sleep next = BoardSession(*Board).NextLook(run, runPacing);
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
        StopRun();
    }
}

void TFormMain::StartRun() {
    if (!boardUse.Take(BoardUse::User::Run)) {
        return;  // the recording window has the board
    }
    DisableControls();
    // The data on screen keep their own settings until the board has taken the new ones.
    MeasureSettings next = ReadSettingsFromControls();
    if (!fBoardReady) {
        if (!ConnectBoard()) {
            fBoardReady = false;
            EndBoardUse();
            Status->ShowBoardNotFound();
            return;
        }
        fBoardReady = true;
    }
    if (!ConfigureBoard(next)) {
        fBoardReady = false;
        EndBoardUse();
        Status->ShowBoardError();
        return;
    }
    Settings = next;
    if (fCh0Data || fCh1Data) {
        Graph->DrawAxes(VoltMode());
    }
    ClearData();
    AcquiredCount = 0;
    runPacing = {};
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
    std::string name;
    std::string version;
    switch (BoardSession(*Board).Identify(name, version)) {
        case BoardSession::IdentifyResult::Ok:
            BoardName = QString::fromStdString(name);
            BoardVersion = QString::fromStdString(version);
            Status->ShowBoardIdentity(BoardName, BoardVersion);
            return true;
        case BoardSession::IdentifyResult::NotFound:
            Messages->BoardNotFound();
            Status->ShowBoardNotFound();
            return false;
        case BoardSession::IdentifyResult::NoResponse:
            Messages->BoardNoResponse();
            Status->ShowBoardNoResponse();
            return false;
        case BoardSession::IdentifyResult::WrongName:
            Messages->BoardNotFound();
            return false;
    }
    return false;
}

bool TFormMain::ConfigureBoard(const MeasureSettings& next) {
    TargetCount = ComboBox2->currentText().toInt();
    BoardSession::RunRequest request;
    request.fSinc5 = next.fSinc5;
    request.spsSel = next.spsSel;
    request.chSel = next.CHSel;
    request.count = TargetCount;
    return BoardSession(*Board).ConfigureAndStart(request);
}

// The run is over: the recording window may have the board, and the controls come back.
void TFormMain::EndBoardUse() {
    boardUse.Release(BoardUse::User::Run);
    EnableControls();
}

void TFormMain::StopBoard() {
    Board->StopConversion();
    Board->CloseBoard();
    fBoardReady = false;
}

void TFormMain::AcquireOneChannelBlock() {
    AcquireBlock();
}

void TFormMain::AcquireTwoChannelBlock() {
    AcquireBlock();
}

void TFormMain::AcquireBlock() {
    if (AcquiredCount >= TargetCount) {
        return;
    }
    int got = 0;
    if (!BoardSession(*Board).ReadBlock(Settings.CHSel, Settings.spsSel, Ch0Codes.data(),
                                        Ch1Codes.data(), AcquiredCount, &got)) {
        FailRun();
        return;
    }
    if (got == 0) {
        return;
    }
    AcquiredCount += got;
    if (AcquiredCount >= TargetCount) {
        FinishRun(TargetCount);
        return;
    }
    progressReadout.Request();
    PlotProgress();
}

void TFormMain::ShowProgressReadout() {
    const int newest = AcquiredCount - 1;
    if (Settings.CHSel == 2) {
        Status->ShowProgressTwo(AcquiredCount, Ch0Codes[newest], Ch1Codes[newest]);
    } else {
        const auto& codes = Settings.CHSel == 1 ? Ch1Codes : Ch0Codes;
        Status->ShowProgress(AcquiredCount, codes[newest]);
    }
}

void TFormMain::PlotProgress() {
    // Slow, long runs are drawn 100 samples at a time while they go on.
    if (Settings.spsSel <= 6 && Settings.DataCountSel >= 3 &&
        AcquiredCount >= NextPlotIndex + 100) {
        ConvertRangeToMicrovolts(NextPlotIndex, NextPlotIndex + 99);
        Graph->DrawWindow(VoltMode(), NextPlotIndex, NextPlotIndex + 99);
        NextPlotIndex += 100;
    }
}

void TFormMain::FailRun() {
    EndRunWaits();
    const bool fDeviceFailed = Board->LastStatus() != FifoStatusCode::Ok;
    Board->StopConversion();
    if (fDeviceFailed) {
        // An unplugged or failing device is let go, so that the next start opens and
        // identifies the board again (a re-plugged board is a new device); a malformed
        // record keeps the board as it is.
        Board->CloseBoard();
        fBoardReady = false;
    }
    Status->ShowMeasureError();
    fMeasuring = false;
    ClearData();
    MeasureBtn->setText(kStartCaption);
    EndBoardUse();
}

void TFormMain::FinishRun(std::int32_t count) {
    EndRunWaits();
    if (Settings.CHSel == 2) {
        Status->ShowFinished();
    }
    fMeasuring = false;
    SetRunData(count);
    ShowRunData();
    MeasureBtn->setText(kStartCaption);
    EndBoardUse();
    Status->ShowFinished();
    ShowStatisticsOfSettingsChannel();
}

void TFormMain::StopRun() {
    EndRunWaits();
    StopBoard();
    Status->ShowStopped();
    fMeasuring = false;
    if (AcquiredCount < BoardSession::kMinSamplesKept) {
        ClearData();
        Status->ClearReadout();
    } else {
        SetRunData(AcquiredCount);
        ShowRunData();
        ShowStatisticsOfSettingsChannel();
    }
    MeasureBtn->setText(kStartCaption);
    EndBoardUse();
}

void TFormMain::SetRunData(std::int32_t count) {
    Ch0Series.Count = Settings.CHSel != 1 ? count : 0;
    Ch1Series.Count = Settings.CHSel != 0 ? count : 0;
    SetDataFlags();
}

// A channel holds data when the settings name it and it has samples.
void TFormMain::SetDataFlags() {
    fCh0Data = Settings.CHSel != 1 && Ch0Series.Count > 0;
    fCh1Data = Settings.CHSel != 0 && Ch1Series.Count > 0;
}

void TFormMain::ShowRunData() {
    ConvertAllToMicrovolts();
    Graph->DrawAll(VoltMode());
    ComputeCodeStatistics();
    ComputeMicrovoltStatistics();
    UpdateNoiseAnalysis();
}

void TFormMain::ClearData() {
    fCh0Data = fCh1Data = false;
    Ch0Series.Count = 0;
    Ch1Series.Count = 0;
    UpdateNoiseAnalysis();
}

void TFormMain::ConvertAllToMicrovolts() {
    if (fCh0Data) {
        ChannelStatistics::ConvertToMicrovolts(Ch0Series, 0, Ch0Series.Count - 1,
                                               Settings.GainFactor);
    }
    if (fCh1Data) {
        ChannelStatistics::ConvertToMicrovolts(Ch1Series, 0, Ch1Series.Count - 1,
                                               Settings.GainFactor);
    }
}

void TFormMain::ConvertRangeToMicrovolts(int first, int last) {
    if (Settings.CHSel == 0 || Settings.CHSel == 2) {
        ChannelStatistics::ConvertToMicrovolts(Ch0Series, first, last, Settings.GainFactor);
    }
    if (Settings.CHSel == 1 || Settings.CHSel == 2) {
        ChannelStatistics::ConvertToMicrovolts(Ch1Series, first, last, Settings.GainFactor);
    }
}

void TFormMain::ComputeCodeStatistics() {
    Ch0Statistics.ComputeCodeStatistics(Ch0Series);
    Ch1Statistics.ComputeCodeStatistics(Ch1Series);
}

void TFormMain::ComputeMicrovoltStatistics() {
    Ch0Statistics.ComputeMicrovoltStatistics(Ch0Series);
    Ch1Statistics.ComputeMicrovoltStatistics(Ch1Series);
}

void TFormMain::ShowChannelStatistics(int channel) {
    const ChannelStatistics& stats = Statistics(channel);
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
    fStatCh0 = Settings.CHSel != 1;
    ShowChannelStatistics(Settings.CHSel == 1 ? 1 : 0);
}
