#pragma once

#include <chrono>

#include "BoardSession.h"

class MeasurementData;
class ProgressBar;
class TADC;

// One run's acquisition after the start command, as the window's idle handler runs it: one
// block read per poll, about one poll a millisecond (sleeping in between, so a run costs
// almost no processor time), until the count has arrived, a read fails, or Ctrl-C asks for
// the stop button's stop.
class CliAcquisition {
public:
    enum class Outcome { Complete, Stopped, Failed };

    static constexpr std::chrono::milliseconds kPollInterval{1};

    CliAcquisition(TADC& adc, const BoardSession::RunRequest& request, MeasurementData& data);

    // Complete: the count arrived (nothing is sent, the board stays open). Failed: a read
    // failed, "AX" was sent. Stopped: "AX" was sent and the board closed; Acquired() says
    // how many samples arrived before.
    Outcome Run(ProgressBar& progress);
    int Acquired() const { return acquired; }

private:
    TADC& board;
    BoardSession session;
    BoardSession::RunRequest run;
    MeasurementData& measurement;
    int acquired = 0;
};
