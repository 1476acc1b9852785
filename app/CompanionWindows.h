// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "measure/Acquisition.h"

class BoardUse;
class Measurement;
class NoiseAnalysisWindow;
class Prompts;
class QWidget;
class RecordingWindow;
class TmyMessage;

// The main window's two companion windows, each made when first asked for: the noise analysis
// window, which follows the data on screen while it is open, and the recording window, which
// runs the same acquisition engine when it has the board.
class CompanionWindows {
public:
    CompanionWindows(QWidget& mainWindow, Acquisition& engine, BoardUse& boardUse,
                     TmyMessage& messages, Prompts& prompts, Acquisition::NowFunction now);
    // A recording still going is finished while the engine and the board still exist.
    ~CompanionWindows();
    CompanionWindows(const CompanionWindows&) = delete;
    CompanionWindows& operator=(const CompanionWindows&) = delete;

    NoiseAnalysisWindow* Analysis() const { return analysis; }
    RecordingWindow* Recording() const { return recording; }

    // The analysis window shown, with the data on screen.
    void ShowAnalysis(const Measurement& data);
    // The analysis window showing the data on screen, if it is open.
    void Follow(const Measurement& data);
    // Any ".DTA" file or recording the operator picks, analysed; a file that cannot be read
    // leaves the window as it was.
    void AnalyseChosenFile(const Measurement& data);
    void ShowRecording();
    // False while a recording goes on and the operator keeps it (or it is still starting).
    bool MayClose();

private:
    NoiseAnalysisWindow& OpenAnalysis();

    QWidget& owner;
    Acquisition& engine;
    BoardUse& use;
    TmyMessage& messages;
    Prompts& prompts;
    Acquisition::NowFunction now;
    NoiseAnalysisWindow* analysis = nullptr;  // a child window of the main one
    RecordingWindow* recording = nullptr;     // likewise
};
