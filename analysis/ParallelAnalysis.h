// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "analysis/NoiseAnalysis.h"

class AnalysisProgress;
class CodeSeries;

// Every noise figure of one or more channels, each figure of each channel a task of its own
// that reads the codes in as few passes as the figure allows: the statistics and the histogram
// (two: the histogram's bins need the extremes), Welch's spectrum, the log-frequency spectrum
// and the 0.1–10 Hz noise (one each), the Allan deviation (one per
// AllanDeviation::kFactorsPerPass factors) and the dynamic figures (the first codes, once).
// The tasks run on as many threads as the machine has cores, the longest first, so both
// channels are analysed at once; each figure is the same arithmetic in the same order on
// whichever thread, wherever the codes are kept.
namespace ParallelAnalysis {

// The figures of each channel at `sampleRate` (none for fewer than NoiseAnalysis::kMinSamples
// codes), with the dynamic figures where asked; nothing when a read failed or the progress was
// cancelled. The whole work goes to the progress before the first task.
std::optional<std::vector<std::optional<NoiseAnalysis>>> Compute(
    std::span<const CodeSeries* const> channels, double sampleRate, bool fDynamic,
    AnalysisProgress& progress);

}  // namespace ParallelAnalysis
