// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/AllanDeviation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <utility>

#include "analysis/AnalysisProgress.h"
#include "analysis/CodeSeries.h"
#include "common/Codes.h"

namespace {

// Codes read at a time from each stretch a pass walks along.
constexpr std::int64_t kBlock = 16384;

// One factor's walk along the codes: d_j, an exact integer, moved on from one j to the next by
// d_{j+1} = d_j + x[j + 2m] − 2 x[j + m] + x[j] (the first code taken off every running sum
// cancels), its squares summed in the order of j.
struct Lane {
    std::int64_t m = 0;
    std::int64_t end = 0;  // count − 2m: d_j moves on for j < end; d_end is the last term
    std::int64_t d = 0;
    double total = 0.0;
    std::unique_ptr<CodeSeries::Reader> once;   // x[j + m]
    std::unique_ptr<CodeSeries::Reader> twice;  // x[j + 2m]
};

// d_0 = C[2m] − 2 C[m] = Σ_{i<2m} x[i] − 2 Σ_{i<m} x[i] of every lane, from one walk over the
// codes up to the largest 2m.
bool FirstTerms(CodeSeries::Reader& reader, std::span<Lane> lanes) {
    std::map<std::int64_t, std::int64_t> sums;  // Σ_{i<k} x[i] by k
    for (const Lane& lane : lanes) {
        sums[lane.m] = 0;
        sums[2 * lane.m] = 0;
    }
    std::int64_t sum = 0;
    std::int64_t at = 0;
    for (auto& [k, sumBefore] : sums) {
        while (at < k) {
            const std::int64_t n = std::min(kBlock, k - at);
            const std::span<const std::int32_t> x = reader.Read(at, n);
            if (x.empty()) {
                return false;
            }
            for (const std::int32_t code : x) {
                sum += code;
            }
            at += n;
        }
        sumBefore = sum;
    }
    for (Lane& lane : lanes) {
        lane.d = sums[2 * lane.m] - 2 * sums[lane.m];
    }
    return true;
}

// n steps of lanes K...: each squares its d_j into its total, then moves d_j on; the lanes'
// independent chains of additions overlap. Not inlined: inside the walk, whose reads are calls
// that clobber every floating-point register, the compiler kept the totals on the stack, one
// store and reload per term; here they stay in registers.
template <std::size_t... K>
[[gnu::noinline]] void Steps(std::index_sequence<K...>, std::size_t n, const std::int32_t* x0,
                             const std::array<const std::int32_t*, sizeof...(K)>& x1,
                             const std::array<const std::int32_t*, sizeof...(K)>& x2,
                             std::array<std::int64_t, sizeof...(K)>& dOut,
                             std::array<double, sizeof...(K)>& totalOut) {
    std::array<std::int64_t, sizeof...(K)> d = dOut;
    std::array<double, sizeof...(K)> total = totalOut;
    for (std::size_t i = 0; i < n; ++i) {
        ((total[K] += static_cast<double>(d[K]) * static_cast<double>(d[K]),
          d[K] += std::int64_t{x2[K][i]} - 2 * std::int64_t{x1[K][i]} + x0[i]),
         ...);
    }
    dOut = d;
    totalOut = total;
}

// Lanes [0, L) walk j from `from` to `to` together, each lane's sum in the order of j. The
// lanes are independent chains of additions, which the processor overlaps.
template <std::size_t L>
bool Walk(CodeSeries::Reader& reader, std::span<Lane> lanes, std::int64_t from, std::int64_t to,
          AnalysisProgress& progress) {
    std::array<std::int64_t, L> d;
    std::array<double, L> total;
    std::array<std::int64_t, L> m;
    for (std::size_t k = 0; k < L; ++k) {
        d[k] = lanes[k].d;
        total[k] = lanes[k].total;
        m[k] = lanes[k].m;
    }
    for (std::int64_t j = from; j < to; j += kBlock) {
        if (progress.Cancelled()) {
            return false;
        }
        const std::int64_t n = std::min(kBlock, to - j);
        const std::span<const std::int32_t> x0 = reader.Read(j, n);
        std::array<const std::int32_t*, L> x1;
        std::array<const std::int32_t*, L> x2;
        bool fRead = !x0.empty();
        for (std::size_t k = 0; k < L; ++k) {
            const std::span<const std::int32_t> once = lanes[k].once->Read(j + m[k], n);
            const std::span<const std::int32_t> twice = lanes[k].twice->Read(j + 2 * m[k], n);
            fRead = fRead && !once.empty() && !twice.empty();
            x1[k] = once.data();
            x2[k] = twice.data();
        }
        if (!fRead) {
            return false;
        }
        Steps(std::make_index_sequence<L>(), static_cast<std::size_t>(n), x0.data(), x1, x2, d,
              total);
        progress.Advance(n * static_cast<std::int64_t>(L));
    }
    for (std::size_t k = 0; k < L; ++k) {
        lanes[k].d = d[k];
        lanes[k].total = total[k];
    }
    return true;
}

bool WalkLanes(CodeSeries::Reader& reader, std::span<Lane> lanes, std::int64_t from,
               std::int64_t to, AnalysisProgress& progress) {
    switch (lanes.size()) {
        case 1:
            return Walk<1>(reader, lanes, from, to, progress);
        case 2:
            return Walk<2>(reader, lanes, from, to, progress);
        case 3:
            return Walk<3>(reader, lanes, from, to, progress);
        default:
            return Walk<AllanDeviation::kFactorsPerPass>(reader, lanes, from, to, progress);
    }
}

}  // namespace

AllanDeviation AllanDeviation::Compute(std::span<const std::int32_t> codes, double sampleRate) {
    const auto count = static_cast<std::int64_t>(codes.size());
    const std::unique_ptr<CodeSeries> series = CodeSeries::InMemory(codes);
    AnalysisProgress progress;
    std::vector<double> sums;
    for (const std::vector<std::int64_t>& factors : PassFactors(count)) {
        const std::vector<double> pass = *SquareSums(*series, factors, progress);
        sums.insert(sums.end(), pass.begin(), pass.end());
    }
    return FromSquareSums(count, sampleRate, sums);
}

std::vector<std::vector<std::int64_t>> AllanDeviation::PassFactors(std::int64_t count) {
    std::vector<std::vector<std::int64_t>> passes;
    for (std::int64_t m = 1; 2 * m + 1 <= count; m *= 2) {
        if (passes.empty() || passes.back().size() == kFactorsPerPass) {
            passes.emplace_back();
        }
        passes.back().push_back(m);
    }
    return passes;
}

std::optional<std::vector<double>> AllanDeviation::SquareSums(const CodeSeries& codes,
                                                              std::span<const std::int64_t> factors,
                                                              AnalysisProgress& progress) {
    const std::int64_t count = codes.Count();
    std::vector<Lane> lanes(factors.size());
    for (std::size_t k = 0; k < lanes.size(); ++k) {
        lanes[k].m = factors[k];
        lanes[k].end = count - 2 * factors[k];
        lanes[k].once = codes.Open();
        lanes[k].twice = codes.Open();
    }
    // The largest factor first ends its walk: the lanes go on without it, one fewer each time.
    std::sort(lanes.begin(), lanes.end(), [](const Lane& a, const Lane& b) { return a.m < b.m; });
    const std::unique_ptr<CodeSeries::Reader> reader = codes.Open();
    if (!FirstTerms(*reader, lanes)) {
        return std::nullopt;
    }
    std::int64_t from = 0;
    for (std::size_t walking = lanes.size(); walking > 0; --walking) {
        const std::int64_t to = lanes[walking - 1].end;
        if (!WalkLanes(*reader, std::span(lanes).first(walking), from, to, progress)) {
            return std::nullopt;
        }
        from = to;
    }
    std::vector<double> sums;
    for (const std::int64_t m : factors) {
        const auto lane =
            std::find_if(lanes.begin(), lanes.end(), [m](const Lane& l) { return l.m == m; });
        const auto last = static_cast<double>(lane->d);
        sums.push_back(lane->total + last * last);
    }
    progress.Advance(static_cast<std::int64_t>(lanes.size()));
    return sums;
}

// σ²(m) = Σ_j d_j² / (2 m² (N − 2m + 1)), d_j = Σ_{i=j}^{j+m−1} (u[i+m] − u[i]).
AllanDeviation AllanDeviation::FromSquareSums(std::int64_t count, double sampleRate,
                                              std::span<const double> sums) {
    AllanDeviation allan;
    std::int64_t m = 1;
    for (const double total : sums) {
        const auto dm = static_cast<double>(m);
        const double variance = total / (2.0 * dm * dm * static_cast<double>(count - 2 * m + 1));
        allan.tauSeconds.push_back(dm / sampleRate);
        allan.deviationMicrovolts.push_back(std::sqrt(variance) * kMicrovoltsPerCode);
        if (!allan.minimum ||
            allan.deviationMicrovolts.back() < allan.deviationMicrovolts[*allan.minimum]) {
            allan.minimum = allan.deviationMicrovolts.size() - 1;
        }
        m *= 2;
    }
    return allan;
}
