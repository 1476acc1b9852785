// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "link/Ad7172.h"
#include "link/driver/SimulatedFifo.h"
#include "measure/Acquisition.h"
#include "record/Recorder.h"

// A top-rate recording by the recorder on the simulated board in process, its clock moved one
// block ahead per wake, so the board never holds the recorder back: the reference a paced
// recording of the same seed must equal, and a measure of the recorder's own speed. A CSV file
// unless told otherwise.
class UnpacedRecording {
public:
    static constexpr int kTopRate = 16;

    UnpacedRecording(int chSel, std::int64_t count, const std::string& path,
                     RecordingSink::Type type = RecordingSink::Type::Csv, bool fCompress = false);

    bool Started() const { return fStarted; }
    // Wakes the recorder until the recording ends; true when it is complete.
    bool Finish();
    const Recorder& Recording() const { return recorder; }

    // Rows of two recordings compared in order (comment lines and column lines left out).
    struct Comparison {
        std::int64_t rows = 0;
        std::int64_t referenceRows = 0;
        std::int64_t equal = 0;
    };
    static Comparison CompareRows(const std::string& path, const std::string& referencePath);

private:
    std::chrono::steady_clock::time_point clockNow{std::chrono::hours(1)};
    SimulatedFifo fifo;
    TADC adc;
    Acquisition engine;
    Recorder recorder;
    bool fStarted = false;
};
