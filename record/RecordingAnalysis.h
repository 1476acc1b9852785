// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/NoiseAnalysis.h"
#include "common/MeasureSettings.h"

// Every noise figure of a recording file, with memory that does not grow with its length.
// One pass over the file gives the statistics (exact running sums) and keeps each channel's
// running sums in a temporary file; the histogram (which needs the extremes first) and the
// Welch spectrum take a second pass over those, the Allan deviation three cursors per τ.
class RecordingAnalysis {
public:
    // NoSampleRate: the file does not say its rate, and none was given.
    enum class Failure { None, BadFile, TemporaryFile, NoSampleRate };

    struct Channel {
        int channel;
        std::int64_t count;
        std::optional<NoiseAnalysis> analysis;  // none below NoiseAnalysis::kMinSamples
    };

    MeasureSettings settings;
    double sampleRate = 0.0;
    std::vector<Channel> channels;  // those of the file, or only `onlyChannel` when it has it

    // A CSV table or an HDF5 recording; `sampleRate`, when given, is the rate of the samples
    // whatever the file says. An HDF5 file that is no recording says why in `reason`.
    static std::optional<RecordingAnalysis> Analyse(const std::string& path,
                                                    std::optional<int> onlyChannel,
                                                    Failure* failure,
                                                    std::optional<double> sampleRate = std::nullopt,
                                                    std::string* reason = nullptr);
};
