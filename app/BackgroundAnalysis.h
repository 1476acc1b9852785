// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "analysis/AnalysisProgress.h"
#include "record/RecordingAnalysis.h"

// A recording's analysis on a thread of its own, so that the window that asked for it keeps
// handling its events: how far it has come, and Finished on the owner's thread when it is over.
// Destroyed before the end, it stops the analysis at its next stretch of codes and waits for it.
class BackgroundAnalysis : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        std::optional<RecordingAnalysis> recording;
        RecordingAnalysis::Failure failure = RecordingAnalysis::Failure::None;
        std::string reason;  // why a file is no recording
    };

    explicit BackgroundAnalysis(RecordingAnalysis::Request request);
    ~BackgroundAnalysis() override;
    BackgroundAnalysis(const BackgroundAnalysis&) = delete;
    BackgroundAnalysis& operator=(const BackgroundAnalysis&) = delete;

    // From 0 to 1.
    double Fraction() const { return progress.Fraction(); }
    // The analysis has ended; a Finished queued before may come from an earlier one.
    bool Over() const { return fOver.load(); }
    // Once it is over.
    Outcome Take() { return std::move(outcome); }

signals:
    void Finished();

private:
    AnalysisProgress progress;
    Outcome outcome;
    std::atomic<bool> fOver{false};
    std::thread worker;  // last: it uses the members above
};
