// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "measure/AcquisitionSink.h"
#include "record/RecordingFormat.h"

// Everything a recording's file says about itself besides its codes, in either file type:
// the header (board, settings, count asked for, start), the further start commands, and how
// it ended. A file whose recording never ended (a crash, or still growing) has no end.
struct RecordingDescription {
    using Time = std::chrono::system_clock::time_point;

    struct Restart {
        std::int64_t firstSample = 0;  // from 0
        Time time;
        friend bool operator==(const Restart&, const Restart&) = default;
    };
    struct End {
        Time time;
        AcquisitionOutcome outcome = AcquisitionOutcome::Complete;
        friend bool operator==(const End&, const End&) = default;
    };

    RecordingHeader header;
    std::string serial;          // the board's USB serial number, where known
    std::string programVersion;  // of the program that wrote the file, where known
    std::vector<Restart> restarts;
    std::optional<End> end;

    // The words of the end: complete, stopped, timeout, read-failed, write-failed.
    static std::string_view OutcomeWord(AcquisitionOutcome outcome);
    static std::optional<AcquisitionOutcome> OutcomeOf(std::string_view word);
    // "2025-01-31T23:59:59.123Z" (the milliseconds may be missing); nothing for other text.
    static std::optional<Time> ParseIsoTime(std::string_view text);
};
