// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/NoiseAnalysis.h"
#include "common/MeasureSettings.h"

class AnalysisProgress;

// Every noise figure of a recording file. The file is read once, each channel's codes into a
// CodeStore: in memory while all channels' codes fit the budget (a quarter of the machine's
// memory, at most 2 GiB: 2CH x 10^7 samples take 80 MB), beyond it in a temporary file read
// back through mapped stretches, so memory stops growing with the length there. The figures
// then come from ParallelAnalysis, every figure of every channel a task of its own on every
// core, from the same code whether the codes are in memory or in the file. What each needs:
//   mean, rms, peak-to-peak,      one pass: exact running sums
//   resolutions, drift
//   histogram, missing codes      the extremes first, then a second pass (bins of at most
//                                 4096, one bit per code)
//   Welch spectrum                one pass in segments of 4096 (shorter below 4096 samples)
//   log-frequency spectrum        one pass: segments of 256 at the rate halved stage after
//                                 stage (one stage per octave of the length)
//   0.1–10 Hz noise               one pass through the filters: the first second held, one
//                                 value per 10 s window
//   Allan deviation               every sample: τ up to half the recording pairs samples that
//                                 far apart; one pass per four values of τ
//   dynamic figures (when asked)  the first DynamicFigures::kMaxSamples codes, transformed whole
// A table that states no rate, when none is given, is refused at its first rows, before the
// rest is read. The figures are those of the samples as one series: the few milliseconds
// between two start commands are not accounted for.
class RecordingAnalysis {
public:
    // NoSampleRate: the file does not say its rate, and none was given. TemporaryFile: codes
    // beyond the budget could not be written to the temporary file or read back. Cancelled:
    // the progress was cancelled.
    enum class Failure { None, BadFile, TemporaryFile, NoSampleRate, Cancelled };
    // Why a CSV file is a bad file: a line that is not a row of the table.
    static inline const std::string kBadTableReason = "表として読めない行があります";

    struct Request {
        std::string path;  // a CSV table or an HDF5 recording
        std::optional<int> onlyChannel = std::nullopt;
        // The rate of the samples whatever the file says.
        std::optional<double> sampleRate = std::nullopt;
        // Each analysis carries the dynamic figures too.
        bool fDynamic = false;
        // Bytes of codes, of all channels, held in memory; the rest goes to a temporary file.
        // Absent: CodeStore::DefaultBudget().
        std::optional<std::size_t> memoryBudget = std::nullopt;
        // Where the reading and the figures report how far they are, and may be stopped.
        AnalysisProgress* progress = nullptr;
    };
    struct Channel {
        int channel;
        std::int64_t count;
        std::optional<NoiseAnalysis> analysis;  // none below NoiseAnalysis::kMinSamples
    };

    MeasureSettings settings;
    double sampleRate = 0.0;
    std::vector<Channel> channels;  // those of the file, or only `onlyChannel` when it has it

    // Nothing when the file cannot be analysed, why in `failure`; an HDF5 file that is no
    // recording says why in `reason`.
    static std::optional<RecordingAnalysis> Analyse(const Request& request, Failure* failure,
                                                    std::string* reason = nullptr);
};
