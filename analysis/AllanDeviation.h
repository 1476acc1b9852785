#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Overlapping Allan deviation of the microvolts at averaging times τ = m / fs for
// m = 1, 2, 4, ... while 2m + 1 does not exceed the sample count.
struct AllanDeviation {
    std::vector<double> tauSeconds;
    std::vector<double> deviationMicrovolts;
    // Index of the smallest deviation (the first of equals); absent when there is no τ.
    std::optional<std::size_t> minimum;

    static AllanDeviation Compute(std::span<const std::int32_t> codes, double sampleRate);
};
