// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Selkoran_main.h"

#include <QAction>
#include <QPushButton>

#include "common/Prompts.h"
#include "datafile/Myfile.h"
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
    if (!HasData(0) && !HasData(1)) {
        Messages->NoData();
        return;
    }
    const auto chosen = prompts.AskSaveFileName("Data files (*.DTA)", "*.DTA");
    if (!chosen || chosen->empty()) {
        return;
    }
    const QString fileName = WithDataExtension(QString::fromStdString(*chosen));
    const std::string path = fileName.toStdString();
    const MeasureSettings& settings = data.Settings;
    // A channel choice no file can hold is a failed save.
    const bool saved =
        settings.CHSel == 2
            ? FileStore->SaveTwoChannels(path, settings, data.Series(0), data.Series(1))
            : (settings.CHSel == 0 || settings.CHSel == 1) &&
                  FileStore->SaveOneChannel(path, settings, data.Series(settings.CHSel));
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
    MeasureSettings loaded = data.Settings;
    if (FileStore->Load(*chosen, loaded, data.Series(0), data.Series(1))) {
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
    data.Settings = loaded;
    data.Settings.GainFactor = engine.Board().GetGainFactor();
    data.start.reset();
    ShowSettingsInControls(data.Settings);
    const bool fAnyData = HasData(0) || HasData(1);
    if (fAnyData) {
        data.Evaluate();
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
    const bool fCh0Data = HasData(0);
    const bool fCh1Data = HasData(1);
    RedrawGraph();
    if (data.Settings.CHSel == 0 && fCh0Data) {
        ShowChannelStatistics(0);
    } else if (data.Settings.CHSel == 1 && fCh1Data) {
        ShowChannelStatistics(1);
    } else if (data.Settings.CHSel == 2 && fCh0Data && fCh1Data) {
        // In two-channel data each switch of the unit also alternates the channel shown.
        fStatCh0 = !fStatCh0;
        ShowChannelStatistics(fStatCh0 ? 0 : 1);
    }
}

void TFormMain::StatusBar1Click() {
    if (!(HasData(0) && HasData(1))) {
        return;
    }
    fStatCh0 = !fStatCh0;
    ShowChannelStatistics(fStatCh0 ? 0 : 1);
}

// The run and the recording share the board: while one has it, the other cannot start.
void TFormMain::BoardUseChanged() {
    if (boardUse.Holder() == BoardUse::User::Recording) {
        // The recording meets the board afresh and may close it: the next run identifies it
        // again.
        fRecordingHadBoard = true;
    }
    if (!fMeasuring && QuitBtn->isEnabled()) {
        EnableControls();
    }
}

// The analysis window follows the data on screen while it is open.
void TFormMain::UpdateNoiseAnalysis() {
    if (companions) {
        companions->Follow(data);
    }
}
