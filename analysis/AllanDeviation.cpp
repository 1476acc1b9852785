// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/AllanDeviation.h"

#include <algorithm>
#include <cmath>

#include "common/Codes.h"

namespace {

// Running sums are read this many at a time, three stretches at once.
constexpr std::int64_t kStretch = 4096;

// Running sums of the codes, taken from the first code so that they stay exact integers:
// every difference of averages below is then exact before it is squared.
std::vector<std::int64_t> CumulativeSums(std::span<const std::int32_t> codes) {
    std::vector<std::int64_t> sums(codes.size() + 1, 0);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        sums[i + 1] = sums[i] + (std::int64_t{codes[i]} - codes.front());
    }
    return sums;
}

struct Stretches {
    std::vector<std::int64_t> at = std::vector<std::int64_t>(kStretch);        // C[j]
    std::vector<std::int64_t> afterOne = std::vector<std::int64_t>(kStretch);  // C[j + m]
    std::vector<std::int64_t> afterTwo = std::vector<std::int64_t>(kStretch);  // C[j + 2m]
};

// σ²(m) = Σ_j (Σ_{i=j}^{j+m−1} (u[i+m] − u[i]))² / (2 m² (N − 2m + 1)), where the inner sum
// is C[j+2m] − 2 C[j+m] + C[j] of the running sums C.
std::optional<double> AllanVarianceInCodes(std::int64_t count, std::int64_t m,
                                           const AllanDeviation::RunningSums& read, Stretches& s) {
    const std::int64_t terms = count - 2 * m + 1;
    double total = 0.0;
    for (std::int64_t j = 0; j < terms; j += kStretch) {
        const auto n = static_cast<std::size_t>(std::min(kStretch, terms - j));
        if (!read(j, std::span(s.at).first(n)) || !read(j + m, std::span(s.afterOne).first(n)) ||
            !read(j + 2 * m, std::span(s.afterTwo).first(n))) {
            return std::nullopt;
        }
        for (std::size_t k = 0; k < n; ++k) {
            const auto d = static_cast<double>(s.afterTwo[k] - 2 * s.afterOne[k] + s.at[k]);
            total += d * d;
        }
    }
    const auto dm = static_cast<double>(m);
    return total / (2.0 * dm * dm * static_cast<double>(terms));
}

}  // namespace

AllanDeviation AllanDeviation::Compute(std::span<const std::int32_t> codes, double sampleRate) {
    const std::vector<std::int64_t> sums = CumulativeSums(codes);
    const auto read = [&sums](std::int64_t first, std::span<std::int64_t> out) {
        std::copy_n(sums.begin() + first, out.size(), out.begin());
        return true;
    };
    return *FromRunningSums(static_cast<std::int64_t>(codes.size()), sampleRate, read);
}

std::optional<AllanDeviation> AllanDeviation::FromRunningSums(std::int64_t count, double sampleRate,
                                                              const RunningSums& read) {
    AllanDeviation allan;
    Stretches stretches;
    for (std::int64_t m = 1; 2 * m + 1 <= count; m *= 2) {
        const std::optional<double> variance = AllanVarianceInCodes(count, m, read, stretches);
        if (!variance) {
            return std::nullopt;
        }
        allan.tauSeconds.push_back(static_cast<double>(m) / sampleRate);
        allan.deviationMicrovolts.push_back(std::sqrt(*variance) * kMicrovoltsPerCode);
        if (!allan.minimum ||
            allan.deviationMicrovolts.back() < allan.deviationMicrovolts[*allan.minimum]) {
            allan.minimum = allan.deviationMicrovolts.size() - 1;
        }
    }
    return allan;
}
