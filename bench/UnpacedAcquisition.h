// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "link/Ad7172.h"
#include "link/LinkTiming.h"
#include "link/driver/SimulatedFifo.h"
#include "measure/BoardSession.h"

// One run from the simulated board with its clock moved far past the run's end once the run
// has started, so every record is due at once: the link's whole path (simulator, driver,
// transport, block reads, parsing) without waiting for the board's pace.
class UnpacedAcquisition {
public:
    explicit UnpacedAcquisition(BoardOptions options = {});

    // Identifies the board, starts the run and reads blocks until request.count samples are
    // in ch0 and/or ch1 (as BoardSession stores them). False on any failure.
    bool Acquire(const BoardSession::RunRequest& request, std::int32_t* ch0, std::int32_t* ch1);

private:
    LinkTiming Timing();

    LinkTiming::Clock::time_point now{std::chrono::hours(1)};
    SimulatedFifo fifo;
    TADC adc;
    BoardSession session;
};
