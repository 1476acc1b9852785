// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

// Overlapping Allan deviation of the microvolts at averaging times τ = m / fs for
// m = 1, 2, 4, ... while 2m + 1 does not exceed the sample count.
struct AllanDeviation {
    // Puts the running sums C[first] .. C[first + out.size() − 1] of the codes into `out`,
    // where C[0] = 0 and C[i + 1] = C[i] + code[i] − code[0]; false when they cannot be read.
    using RunningSums = std::function<bool(std::int64_t first, std::span<std::int64_t> out)>;

    std::vector<double> tauSeconds;
    std::vector<double> deviationMicrovolts;
    // Index of the smallest deviation (the first of equals); absent when there is no τ.
    std::optional<std::size_t> minimum;

    // The deviation stops falling before the longest τ: the minimum is one, not merely where
    // the data ran out while averaging still helped.
    bool MinimumReached() const { return minimum && *minimum + 1 < tauSeconds.size(); }

    static AllanDeviation Compute(std::span<const std::int32_t> codes, double sampleRate);
    // The same from the running sums of `count` codes kept elsewhere (a file), read 4096 sums
    // at a time, so memory stays the same whatever the count; nothing when a read fails.
    static std::optional<AllanDeviation> FromRunningSums(std::int64_t count, double sampleRate,
                                                         const RunningSums& read);
};
