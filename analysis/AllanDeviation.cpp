#include "AllanDeviation.h"

#include <cmath>

#include "Codes.h"

namespace {

// Running sums of the codes, taken from the first code so that they stay exact integers:
// every difference of averages below is then exact before it is squared.
std::vector<std::int64_t> CumulativeSums(std::span<const std::int32_t> codes) {
    std::vector<std::int64_t> sums(codes.size() + 1, 0);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        sums[i + 1] = sums[i] + (std::int64_t{codes[i]} - codes.front());
    }
    return sums;
}

// σ²(m) = Σ_j (Σ_{i=j}^{j+m−1} (u[i+m] − u[i]))² / (2 m² (N − 2m + 1)), where the inner sum
// is C[j+2m] − 2 C[j+m] + C[j] of the running sums C.
double AllanVarianceInCodes(const std::vector<std::int64_t>& sums, std::size_t m) {
    const std::size_t terms = sums.size() - 2 * m;  // N − 2m + 1
    double total = 0.0;
    for (std::size_t j = 0; j < terms; ++j) {
        const auto d = static_cast<double>(sums[j + 2 * m] - 2 * sums[j + m] + sums[j]);
        total += d * d;
    }
    const double dm = static_cast<double>(m);
    return total / (2.0 * dm * dm * static_cast<double>(terms));
}

}  // namespace

AllanDeviation AllanDeviation::Compute(std::span<const std::int32_t> codes, double sampleRate) {
    AllanDeviation allan;
    if (codes.size() < 3) {
        return allan;
    }
    const std::vector<std::int64_t> sums = CumulativeSums(codes);
    for (std::size_t m = 1; 2 * m + 1 <= codes.size(); m *= 2) {
        allan.tauSeconds.push_back(static_cast<double>(m) / sampleRate);
        allan.deviationMicrovolts.push_back(std::sqrt(AllanVarianceInCodes(sums, m)) *
                                            kMicrovoltsPerCode);
        if (!allan.minimum ||
            allan.deviationMicrovolts.back() < allan.deviationMicrovolts[*allan.minimum]) {
            allan.minimum = allan.deviationMicrovolts.size() - 1;
        }
    }
    return allan;
}
