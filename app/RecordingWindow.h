// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "app/BoardUse.h"
#include "app/FrameLimiter.h"
#include "app/RecordingChart.h"
#include "app/RunWake.h"
#include "record/RecordingSession.h"
#include "record/SampleEnvelope.h"

class Prompts;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;
class TmyMessage;

// "SELKORAN / 長時間記録": a long recording to a CSV or HDF5 file made with the recorder of the
// command line (RecordingSession), woken by the board's driver through the window's event loop
// (RunWake), watched while it grows: a chart of the whole recording or its last minutes, the
// noise figures of the newest samples and the progress. It borrows the main window's board
// while it records.
// - Settings: rate, filter, channel, a count or a duration (only the chosen one editable), the
//   file (the save dialog offers both types and gives a bare name the chosen type's extension;
//   any other name becomes a CSV file's) and "データなし時間切れ" in seconds. The overwrite and
//   the stop questions default to いいえ.
// - Each block goes into one SampleEnvelope per channel; the chart and the progress line are
//   redrawn when a block comes, at most four times a second, the figures
//   (NoiseFigureTable::StatisticsRows, only the recorded channels' columns) at most twice a
//   second, and the elapsed time a second after the last text while no block comes. "残り"
//   shows only while recording; every start clears the line, a failed one too.
// - Failures are the catalogue's boxes; a file's failure names the file, the reason and the
//   samples kept. "ノイズ解析" analyses the last file a recording ended with samples in, also
//   after a failed start that left it.
class RecordingWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString kTitle = QStringLiteral("SELKORAN / 長時間記録");
    static inline const QString kStartCaption = QStringLiteral("記録開始");
    static inline const QString kStopCaption = QStringLiteral("記録停止");
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
    // The chart, the figures and the progress as they are now.
    void ShowProgress();
    // Samples, elapsed and left time, file size: once a second while recording.
    void ShowProgressText();

    bool Recording() const { return recorder.Recording(); }
    AcquisitionOutcome Outcome() const { return recorder.Result(); }
    RecordingChart& Chart() { return *chart; }
    const SampleEnvelope& Envelope(int channel) const {
        return envelopes[static_cast<std::size_t>(channel)];
    }
    bool WakeArmed() const { return wake.Armed(); }

    QComboBox* RateBox = nullptr;
    QRadioButton* Sinc3Btn = nullptr;
    QRadioButton* Sinc5Btn = nullptr;
    QComboBox* ChannelBox = nullptr;
    QRadioButton* CountBtn = nullptr;
    QSpinBox* CountEdit = nullptr;
    QRadioButton* DurationBtn = nullptr;
    std::array<QSpinBox*, 3> DurationEdits{};  // hours, minutes, seconds
    QLineEdit* FileEdit = nullptr;
    QPushButton* BrowseBtn = nullptr;
    QSpinBox* TimeoutEdit = nullptr;
    QPushButton* StartBtn = nullptr;
    QPushButton* AnalyseBtn = nullptr;
    QComboBox* SpanBox = nullptr;        // the whole recording or its last minutes
    QComboBox* FigureSpanBox = nullptr;  // the newest samples the figures cover
    QTableWidget* FigureTable = nullptr;
    QLabel* ProgressLabel = nullptr;
    QLabel* StateLabel = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildLayout();
    QWidget* BuildControls();
    QWidget* BuildView();
    void SetControlsEnabled(bool enabled);
    void UpdateLengthFields();
    void UpdateStartButton();
    std::optional<RecordingSession::Request> RequestFromControls();
    bool Started(Acquisition::StartResult result, const RecordingSession::Request& request);
    void Begin(const RecordingSession::Request& request);
    void TakeBlock(const SampleBlock& block);
    void ShowProgressOnData();
    void ArmWake();
    void StopRecording();
    void Finish();
    void ShowOutcome();
    void ShowFigures();
    void SetCell(int row, int column, const std::string& text, const std::string& note = {});
    void FollowSpan();

    BoardUse& use;
    TmyMessage& messages;
    Prompts& prompts;
    NowFunction now;
    AnalyseFunction analyse;
    RecordingSession recorder;
    RunWake wake{[this] { RecordWake(); }};
    std::array<SampleEnvelope, 2> envelopes;
    RecordingChart* chart = nullptr;
    FrameLimiter refresh;  // the chart, figures and progress, when data come
    QTimer clock;          // the progress while recording, a second after it was last shown
    Acquisition::Clock::time_point started{};
    Acquisition::Clock::time_point ended{};
    Acquisition::Clock::time_point figuresShown{};
    double sampleRate = 1.0;
    QString recordingPath;   // the file of the recording on screen
    QString analysablePath;  // the last file a recording ended with samples in, if still there
    std::vector<std::int32_t> figureCodes;  // reused by every figure update
};
