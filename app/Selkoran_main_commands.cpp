// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Selkoran_main.h"

#include <QAction>
#include <QPushButton>

#include "app/NoiseAnalysisWindow.h"
#include "app/RecordingWindow.h"
#include "common/Prompts.h"
#include "datafile/Myfile.h"
#include "link/Ad7172.h"
#include "messages/Mymessage.h"
#include "status/Mystatus.h"

// The window's data and view commands: save, load, clear, the unit, the statistics channel and
// the noise analysis.

QString TFormMain::WithDataExtension(const QString& name) {
    const QString extension = QStringLiteral(".DTA");
    if (!name.contains('.') || !name.endsWith(extension, Qt::CaseSensitive)) {
        return name + extension;
    }
    return name;
}

void TFormMain::Save1Click() {
    if (!fCh0Data && !fCh1Data) {
        Messages->NoData();
        return;
    }
    const auto chosen = prompts.AskSaveFileName("Data files (*.DTA)", "*.DTA");
    if (!chosen || chosen->empty()) {
        return;
    }
    const QString fileName = WithDataExtension(QString::fromStdString(*chosen));
    const std::string path = fileName.toStdString();
    bool saved = false;
    switch (Settings.CHSel) {
        case 0:
            saved = FileStore->SaveOneChannel(path, Settings, Ch0Series);
            break;
        case 1:
            saved = FileStore->SaveOneChannel(path, Settings, Ch1Series);
            break;
        case 2:
            saved = FileStore->SaveTwoChannels(path, Settings, Ch0Series, Ch1Series);
            break;
        default:
            break;  // a channel choice no file can hold is a failed save
    }
    if (saved) {
        Status->ShowSaved();
    } else {
        Messages->SaveFailed();
    }
    UpdateTitle(fileName);
}

void TFormMain::Load1Click() {
    const auto chosen = prompts.AskOpenFileName("データファイル (*.DTA)", "*.DTA");
    if (!chosen || chosen->empty()) {
        return;
    }
    activateWindow();
    DisableControls();
    MeasureSettings loaded = Settings;
    if (FileStore->Load(*chosen, loaded, Ch0Series, Ch1Series)) {
        ShowLoadedFile(loaded, QString::fromStdString(*chosen));
    } else {
        ClearData();
        Graph->DrawEmpty(VoltMode());
        Status->ClearReadout();
        Messages->BadDataFile();
        UpdateTitle({});
    }
    EnableControls();
}

// A file whose data section is empty loads like any other, but shows no data.
void TFormMain::ShowLoadedFile(const MeasureSettings& loaded, const QString& fileName) {
    Settings = loaded;
    Settings.GainFactor = Board->GetGainFactor();
    ShowSettingsInControls();
    SetDataFlags();
    const bool fAnyData = fCh0Data || fCh1Data;
    if (fAnyData) {
        ShowRunData();
    } else {
        Graph->DrawEmpty(VoltMode());
        UpdateNoiseAnalysis();
    }
    MeasureBtn->setText(kStartCaption);
    Status->ShowLoaded();
    UpdateTitle(fileName);
    if (fAnyData) {
        ShowStatisticsOfSettingsChannel();
    } else {
        Status->ClearReadout();
    }
}

void TFormMain::DataClearClick() {
    ClearData();
    Graph->DrawEmpty(VoltMode());
}

void TFormMain::MenuY_VoltClick() {
    if (fCh0Data || fCh1Data) {
        Graph->DrawAll(VoltMode());
    } else {
        Graph->DrawEmpty(VoltMode());
    }
    if (Settings.CHSel == 0 && fCh0Data) {
        ShowChannelStatistics(0);
    } else if (Settings.CHSel == 1 && fCh1Data) {
        ShowChannelStatistics(1);
    } else if (Settings.CHSel == 2 && fCh0Data && fCh1Data) {
        // In two-channel data each switch of the unit also alternates the channel shown.
        fStatCh0 = !fStatCh0;
        ShowChannelStatistics(fStatCh0 ? 0 : 1);
    }
}

void TFormMain::StatusBar1Click() {
    if (!(fCh0Data && fCh1Data)) {
        return;
    }
    fStatCh0 = !fStatCh0;
    ShowChannelStatistics(fStatCh0 ? 0 : 1);
}

void TFormMain::NoiseAnalysis1Click() {
    OpenNoiseAnalysis();
    UpdateNoiseAnalysis();
}

void TFormMain::AnalyseFile1Click() {
    const auto chosen =
        prompts.AskOpenFileName(NoiseAnalysisWindow::kOpenFilter.toStdString(), std::string());
    if (!chosen || chosen->empty()) {
        return;
    }
    // A file that cannot be read leaves the window as it was: a window just opened shows the
    // data on screen.
    const bool fWasOpen = noiseAnalysis != nullptr && noiseAnalysis->isVisible();
    OpenNoiseAnalysis();
    if (!fWasOpen) {
        UpdateNoiseAnalysis();
    }
    noiseAnalysis->ShowFile(QString::fromStdString(*chosen));
}

NoiseAnalysisWindow* TFormMain::OpenNoiseAnalysis() {
    if (noiseAnalysis == nullptr) {
        noiseAnalysis = new NoiseAnalysisWindow(prompts, this);
    }
    noiseAnalysis->show();
    noiseAnalysis->raise();
    noiseAnalysis->activateWindow();
    return noiseAnalysis;
}

// The analysis window shows the recording until the data on screen change.
void TFormMain::AnalyseRecording(const QString& path) {
    OpenNoiseAnalysis()->ShowRecording(path);
}

void TFormMain::LongRecording1Click() {
    if (recording == nullptr) {
        recording = new RecordingWindow(
            *Board, boardUse, *Messages, prompts, clockNow,
            [this](const QString& path) { AnalyseRecording(path); }, this);
    }
    recording->show();
    recording->raise();
    recording->activateWindow();
}

// The run and the recording share the board: while one has it, the other cannot start.
void TFormMain::BoardUseChanged() {
    if (boardUse.Holder() == BoardUse::User::Recording) {
        // The recording may close the board: the next run identifies it again.
        fBoardReady = false;
    }
    if (!fMeasuring && QuitBtn->isEnabled()) {
        MeasureBtn->setEnabled(boardUse.Holder() != BoardUse::User::Recording);
    }
}

// The analysis window follows the data on screen while it is open.
void TFormMain::UpdateNoiseAnalysis() {
    if (noiseAnalysis == nullptr || !noiseAnalysis->isVisible()) {
        return;
    }
    const auto codesOf = [](bool fData, const ChannelSeries& series) {
        return fData ? NoiseAnalysisWindow::ChannelCodes(std::in_place, series.Codes,
                                                         static_cast<std::size_t>(series.Count))
                     : std::nullopt;
    };
    noiseAnalysis->ShowData(Settings, codesOf(fCh0Data, Ch0Series), codesOf(fCh1Data, Ch1Series));
}

// Changing a setting takes effect at the next start, which reads the controls.
void TFormMain::ComboBox1Change() {}
void TFormMain::ComboBox2Change() {}
void TFormMain::ComboBox3Change() {}
void TFormMain::Sinc3_RBClick() {}
void TFormMain::Sinc5_RBClick() {}
