// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/NoiseAnalysis.h"
#include "common/MeasureSettings.h"

// Every noise figure of a recording file, with memory that does not grow with its length
// (a whole `selkoran-cli analyze` about 25 MiB, at 10^5 samples as at 10^7). What each needs:
//   mean, rms, peak-to-peak,      one streaming pass: exact running sums
//   resolutions, drift
//   histogram, missing codes      the extremes first, then a second pass (bins of at most
//                                 4096, one bit per code)
//   Welch spectrum                a second pass in segments of 4096 (shorter below 4096 samples)
//   log-frequency spectrum        the same pass: segments of 256 at the rate halved stage after
//                                 stage (one stage per octave of the length)
//   0.1–10 Hz noise               the same pass through the filters: the first second held,
//                                 one value per 10 s window
//   Allan deviation               every sample: τ up to half the recording pairs samples that
//                                 far apart
//   dynamic figures (when asked)  the first DynamicFigures::kMaxSamples codes, collected in the
//                                 second pass and transformed whole (about 27 MiB more)
// The first pass reads the file once and keeps each channel's running sums in a nameless
// temporary file (RunningSumFile, 8 bytes a sample); the histogram and the spectrum read the
// codes back from it, the Allan deviation three stretches of it per τ. A table that states no
// rate, when none is given, is refused at its first rows, before the rest is read. The figures
// are those of the samples as one series: the few milliseconds between two start commands are
// not accounted for.
class RecordingAnalysis {
public:
    // NoSampleRate: the file does not say its rate, and none was given.
    enum class Failure { None, BadFile, TemporaryFile, NoSampleRate };
    // Why a CSV file is a bad file: a line that is not a row of the table.
    static inline const std::string kBadTableReason = "表として読めない行があります";

    struct Channel {
        int channel;
        std::int64_t count;
        std::optional<NoiseAnalysis> analysis;  // none below NoiseAnalysis::kMinSamples
    };

    MeasureSettings settings;
    double sampleRate = 0.0;
    std::vector<Channel> channels;  // those of the file, or only `onlyChannel` when it has it

    // A CSV table or an HDF5 recording; `sampleRate`, when given, is the rate of the samples
    // whatever the file says. An HDF5 file that is no recording says why in `reason`. With
    // fDynamic each analysis carries the dynamic figures too.
    static std::optional<RecordingAnalysis> Analyse(const std::string& path,
                                                    std::optional<int> onlyChannel,
                                                    Failure* failure,
                                                    std::optional<double> sampleRate = std::nullopt,
                                                    std::string* reason = nullptr,
                                                    bool fDynamic = false);
};
