// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "app/BoardUse.h"
#include "app/RecordingForm.h"
#include "app/RecordingView.h"
#include "app/RunWake.h"
#include "record/Recorder.h"

class Prompts;
class TmyMessage;

// "SELKORAN / 長時間記録": a long recording to a CSV or HDF5 file made with the recorder of the
// command line (Recorder), woken by the board's driver through the window's event loop
// (RunWake), watched while it grows (RecordingView): a chart of the whole recording or its last
// minutes, the noise figures of the newest samples and the progress. It borrows the main
// window's board while it records. Its controls are its form's (RecordingForm).
// - The save dialog offers both types and gives a bare name the chosen type's extension; any
//   other name becomes a CSV file's. The overwrite and the stop questions default to いいえ.
// - Failures are the catalogue's boxes; a file's failure names the file, the reason and the
//   samples kept. "ノイズ解析" analyses the last file a recording ended with samples in, also
//   after a failed start that left it.
class RecordingWindow : public QWidget, public RecordingForm {
    Q_OBJECT
public:
    static inline const QString kStopQuestion = QStringLiteral("記録を中止しますか？");

    using NowFunction = Acquisition::NowFunction;
    using AnalyseFunction = std::function<void(const QString& path)>;

    RecordingWindow(Acquisition& engine, BoardUse& boardUse, TmyMessage& messages, Prompts& prompts,
                    NowFunction now, AnalyseFunction analyse, QWidget* parent);
    ~RecordingWindow() override;

    void StartBtnClick();
    void BrowseBtnClick();
    void AnalyseBtnClick();
    // One wake of the recording: the recorder's block read, then the next sleep.
    void RecordWake();

    bool Recording() const { return recorder.Recording(); }
    AcquisitionOutcome Outcome() const { return recorder.Result(); }
    RecordingView& View() { return *view; }
    bool WakeArmed() const { return wake.Armed(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void UpdateStartButton();
    std::optional<Recorder::Request> RequestFromControls();
    bool Started(Acquisition::StartResult result, const Recorder::Request& request);
    void GiveUpStart();
    void StopRecording();
    void Finish();
    void ShowOutcome();

    BoardUse& use;
    TmyMessage& messages;
    Prompts& prompts;
    AnalyseFunction analyse;
    Recorder recorder;
    RunWake wake{[this] { RecordWake(); }};
    std::unique_ptr<RecordingView> view;  // made once the form's controls are
    QString recordingPath;                // the file of the recording on screen
    QString analysablePath;  // the last file a recording ended with samples in, if still there
};
