// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class AnalysisProgress;
class CodeSeries;

// Overlapping Allan deviation of the microvolts at averaging times τ = m / fs for
// m = 1, 2, 4, ... while 2m + 1 does not exceed the sample count.
struct AllanDeviation {
    // Factors m whose sums one pass over the codes takes at once.
    static constexpr std::size_t kFactorsPerPass = 4;

    std::vector<double> tauSeconds;
    std::vector<double> deviationMicrovolts;
    // Index of the smallest deviation (the first of equals); absent when there is no τ.
    std::optional<std::size_t> minimum;

    // The deviation stops falling before the longest τ: the minimum is one, not merely where
    // the data ran out while averaging still helped.
    bool MinimumReached() const { return minimum && *minimum + 1 < tauSeconds.size(); }

    static AllanDeviation Compute(std::span<const std::int32_t> codes, double sampleRate);

    // The factors m of `count` codes, kFactorsPerPass (or the last few) to a pass.
    static std::vector<std::vector<std::int64_t>> PassFactors(std::int64_t count);
    // For each of `factors` (one pass's), Σ_j d_j² over j = 0 .. count − 2m, where
    // d_j = C[j + 2m] − 2 C[j + m] + C[j] of the running sums C of the codes (exact integers),
    // each sum taken in the order of j; nothing when a read failed or the progress was
    // cancelled. The progress advances by one unit per term.
    static std::optional<std::vector<double>> SquareSums(const CodeSeries& codes,
                                                         std::span<const std::int64_t> factors,
                                                         AnalysisProgress& progress);
    // The deviation from the sums of every factor of `count` codes, in order.
    static AllanDeviation FromSquareSums(std::int64_t count, double sampleRate,
                                         std::span<const double> sums);
};
