// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "link/Ad7172.h"
#include "link/LinkTiming.h"
#include "link/driver/SimulatedFifo.h"
#include "measure/Acquisition.h"
#include "measure/Measurement.h"
#include "measure/RunRequest.h"

// One run of the acquisition engine from the simulated board with its clock moved far past the
// run's end once the run has started, so every record is due at once: the whole path
// (simulator, driver, transport, engine, block reads, parsing, the measurement) without
// waiting for the board's pace.
class UnpacedAcquisition {
public:
    explicit UnpacedAcquisition(BoardOptions options = {});

    // Identifies the board, runs the engine until request.count samples are in, and copies the
    // codes into ch0 and/or ch1 (a one-channel run's into its own channel's array). False on
    // any failure.
    bool Acquire(const RunRequest& request, std::int32_t* ch0, std::int32_t* ch1);

private:
    LinkTiming Timing();

    LinkTiming::Clock::time_point now{std::chrono::hours(1)};
    SimulatedFifo fifo;
    TADC adc;
    Acquisition engine;
    Measurement data;
};
