// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "common/MeasureSettings.h"

// What a run asks of the board, whoever starts it: the settings, the samples per channel and how
// long it waits for a record before it gives up.
struct RunRequest {
    MeasureSettings settings;  // fSinc5, spsSel and CHSel are sent to the board
    std::int64_t count = 1;    // samples per channel, at least 1
    // No record for this long ends the run; none: wait as long as it takes.
    std::optional<std::chrono::steady_clock::duration> noDataTimeout = std::nullopt;
};
