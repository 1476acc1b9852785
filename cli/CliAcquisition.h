// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/BoardSession.h"

class MeasurementData;
class ProgressBar;
class TADC;

// One run's acquisition after the start command, as the window runs it: one block read per
// look, and between looks a sleep in poll() until the driver announces bytes or the board's
// pace brings the rest of a block (BlockWait), so a run costs almost no processor time; until
// the count has arrived, a read fails, or Ctrl-C (which ends the sleep at once) asks for the
// stop button's stop.
class CliAcquisition {
public:
    enum class Outcome { Complete, Stopped, Failed };

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
