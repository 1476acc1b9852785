// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/FrameLimiter.h"
#include "record/Recorder.h"
#include "record/SampleEnvelope.h"

class RecordingForm;

// The recording window's view of the recording on screen: each block goes into one
// SampleEnvelope per channel; the chart and the progress line are redrawn when a block comes,
// at most four times a second, the figures (NoiseFigureTable::StatisticsRows, only the recorded
// channels' columns) at most twice a second, and the elapsed time a second after the last text
// while no block comes. "残り" shows only while recording; every start clears the line, a failed
// one too.
class RecordingView : public QObject {
public:
    using NowFunction = Acquisition::NowFunction;

    // Shows `recorder`'s recording in the controls of `form`, which exist by now.
    RecordingView(RecordingForm& form, const Recorder& recorder, NowFunction now);

    // Before a start: empty envelopes, chart and progress line, the columns of `request`'s
    // channels.
    void Begin(const Recorder::Request& request);
    // The start went through: the time counts from now and, while it records, the progress
    // shows at once and then at least once a second.
    void Started();
    // The end: no more redraws, the chart fits the values, the last figures and progress.
    void Ended();
    void TakeBlock(const SampleBlock& block);

    // The chart, the figures and the progress as they are now.
    void ShowProgress();
    // Samples, elapsed and left time, file size: once a second while recording.
    void ShowProgressText();

    const SampleEnvelope& Envelope(int channel) const {
        return envelopes[static_cast<std::size_t>(channel)];
    }

private:
    void ShowProgressOnData();
    void ShowFigures();
    void SetCell(int row, int column, const std::string& text, const std::string& note = {});
    void FollowSpan();

    RecordingForm& form;
    const Recorder& recorder;
    NowFunction now;
    std::array<SampleEnvelope, 2> envelopes;
    FrameLimiter refresh;  // the chart, figures and progress, when data come
    QTimer clock;          // the progress while recording, a second after it was last shown
    Acquisition::Clock::time_point started{};
    Acquisition::Clock::time_point ended{};
    Acquisition::Clock::time_point figuresShown{};
    double sampleRate = 1.0;
    std::vector<std::int32_t> figureCodes;  // reused by every figure update
};
