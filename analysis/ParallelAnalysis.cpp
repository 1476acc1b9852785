// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/ParallelAnalysis.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "analysis/AnalysisProgress.h"
#include "analysis/CodeSeries.h"

namespace {

// Codes a figure's pass reads at a time.
constexpr std::int64_t kStretch = 65536;
// Below this much work (in units of progress) threads cost more than they save.
constexpr std::int64_t kLeastThreadedWork = std::int64_t{1} << 18;

// Every code in order, a stretch at a time, into `add`; false when a read failed or the
// progress was cancelled. One unit of progress per code.
template <typename Add>
bool Pass(const CodeSeries& codes, AnalysisProgress& progress, Add add) {
    const std::unique_ptr<CodeSeries::Reader> reader = codes.Open();
    for (std::int64_t first = 0; first < codes.Count(); first += kStretch) {
        const std::int64_t n = std::min(kStretch, codes.Count() - first);
        const std::span<const std::int32_t> stretch =
            progress.Cancelled() ? std::span<const std::int32_t>() : reader->Read(first, n);
        if (stretch.empty()) {
            return false;
        }
        add(stretch);
        progress.Advance(n);
    }
    return true;
}

// One channel's figures as the tasks fill them in, each task its own part.
struct Channel {
    const CodeSeries* codes;
    double rate;
    NoiseAnalysis analysis;
    std::vector<std::vector<std::int64_t>> allanFactors;  // of each pass
    std::vector<std::vector<double>> allanSums;           // of each pass
};

// One figure of one channel: its work, its units of progress and an estimate of its time in
// those units (for the order: the longest first, so that no long task is left to the end).
struct Task {
    std::function<bool(AnalysisProgress&)> run;
    std::int64_t units;
    double nanosecondsPerUnit;

    double Cost() const { return static_cast<double>(units) * nanosecondsPerUnit; }
};

std::int64_t AllanTerms(std::int64_t count, std::span<const std::int64_t> factors) {
    std::int64_t terms = 0;
    for (const std::int64_t m : factors) {
        terms += count - 2 * m + 1;
    }
    return terms;
}

void AddTasks(Channel& c, bool fDynamic, std::vector<Task>& tasks) {
    const CodeSeries& codes = *c.codes;
    const std::int64_t count = codes.Count();
    NoiseAnalysis& a = c.analysis;
    a.sampleRate = c.rate;
    tasks.push_back({[&c, &codes, &a](AnalysisProgress& progress) {
                         NoiseStatisticsSums sums;
                         if (!Pass(codes, progress, [&sums](auto s) { sums.Add(s); })) {
                             return false;
                         }
                         a.statistics = sums.Result(c.rate);
                         CodeHistogramCounter histogram(a.statistics);
                         if (!Pass(codes, progress, [&histogram](auto s) { histogram.Add(s); })) {
                             return false;
                         }
                         a.histogram = histogram.Result();
                         return true;
                     },
                     2 * count, 2.0});
    tasks.push_back({[&c, &codes, &a, count](AnalysisProgress& progress) {
                         WelchSpectrum welch(WelchSpectrum::SegmentLengthFor(count), c.rate);
                         if (!Pass(codes, progress, [&welch](auto s) { welch.AddCodes(s); })) {
                             return false;
                         }
                         a.spectrum = welch.Result();
                         return true;
                     },
                     count, 5.0});
    tasks.push_back({[&c, &codes, &a](AnalysisProgress& progress) {
                         LogFrequencySpectrum spectrum(c.rate);
                         if (!Pass(codes, progress, [&spectrum](auto s) { spectrum.Add(s); })) {
                             return false;
                         }
                         a.logSpectrum = spectrum.Result();
                         return true;
                     },
                     count, 12.0});
    tasks.push_back({[&c, &codes, &a](AnalysisProgress& progress) {
                         LowFrequencyNoise noise(c.rate);
                         if (!Pass(codes, progress, [&noise](auto s) { noise.Add(s); })) {
                             return false;
                         }
                         a.lowFrequencyNoise = noise.Result();
                         return true;
                     },
                     count, 6.0});
    c.allanFactors = AllanDeviation::PassFactors(count);
    c.allanSums.resize(c.allanFactors.size());
    for (std::size_t pass = 0; pass < c.allanFactors.size(); ++pass) {
        const std::span<const std::int64_t> factors = c.allanFactors[pass];
        tasks.push_back({[&c, &codes, factors, pass](AnalysisProgress& progress) {
                             auto sums = AllanDeviation::SquareSums(codes, factors, progress);
                             if (!sums) {
                                 return false;
                             }
                             c.allanSums[pass] = std::move(*sums);
                             return true;
                         },
                         AllanTerms(count, factors), 1.5});
    }
    if (fDynamic) {
        const std::int64_t first = std::min(count, DynamicFigures::kMaxSamples);
        tasks.push_back({[&c, &codes, &a, first](AnalysisProgress& progress) {
                             const auto reader = codes.Open();
                             const std::span<const std::int32_t> firstCodes =
                                 progress.Cancelled() ? std::span<const std::int32_t>()
                                                      : reader->Read(0, first);
                             if (firstCodes.empty()) {
                                 return false;
                             }
                             a.dynamic = DynamicFigures::Compute(firstCodes, c.rate);
                             progress.Advance(first);
                             return true;
                         },
                         first, 150.0});
    }
}

// The tasks on `threads` threads (this one among them), the costliest first; false when one
// of them failed.
bool RunTasks(std::vector<Task>& tasks, unsigned threads, AnalysisProgress& progress) {
    std::stable_sort(tasks.begin(), tasks.end(),
                     [](const Task& a, const Task& b) { return a.Cost() > b.Cost(); });
    std::atomic<std::size_t> next{0};
    std::atomic<bool> fFailed{false};
    const auto work = [&] {
        for (std::size_t i = next++; i < tasks.size() && !fFailed; i = next++) {
            if (!tasks[i].run(progress)) {
                fFailed = true;
            }
        }
    };
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < threads; ++t) {
        helpers.emplace_back(work);
    }
    work();
    helpers.clear();  // joins them
    return !fFailed;
}

}  // namespace

namespace ParallelAnalysis {

std::optional<std::vector<std::optional<NoiseAnalysis>>> Compute(
    std::span<const CodeSeries* const> series, double sampleRate, bool fDynamic,
    AnalysisProgress& progress) {
    std::vector<std::unique_ptr<Channel>> channels;
    std::vector<Task> tasks;
    for (const CodeSeries* codes : series) {
        channels.push_back(std::make_unique<Channel>(Channel{codes, sampleRate, {}, {}, {}}));
        if (codes->Count() >= NoiseAnalysis::kMinSamples) {
            AddTasks(*channels.back(), fDynamic, tasks);
        }
    }
    std::int64_t work = 0;
    for (const Task& task : tasks) {
        work += task.units;
    }
    progress.SetFigureWork(work);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const auto threads = static_cast<unsigned>(
        work < kLeastThreadedWork ? 1 : std::min<std::size_t>(cores, tasks.size()));
    if (!RunTasks(tasks, threads, progress)) {
        return std::nullopt;
    }
    std::vector<std::optional<NoiseAnalysis>> analyses;
    for (const auto& c : channels) {
        if (c->codes->Count() < NoiseAnalysis::kMinSamples) {
            analyses.emplace_back();
            continue;
        }
        std::vector<double> sums;
        for (const std::vector<double>& pass : c->allanSums) {
            sums.insert(sums.end(), pass.begin(), pass.end());
        }
        c->analysis.allan = AllanDeviation::FromSquareSums(c->codes->Count(), sampleRate, sums);
        analyses.push_back(std::move(c->analysis));
    }
    return analyses;
}

}  // namespace ParallelAnalysis
