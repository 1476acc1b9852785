// SPDX-License-Identifier: GPL-3.0-or-later
// Every noise figure of one channel: 10000 samples (the window's longest run) and 1048575
// (the longest run a start command can ask for), and each part alone on the longer series.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/NoiseAnalysis.h"
#include "bench/RatioReporter.h"
#include "boardsim/SampleSource.h"

namespace {

constexpr int kTopRateIndex = 16;
constexpr std::int64_t kLongest = 1048575;

// CH0 of the simulated board at the top rate: a few microvolts with 5 µV rms of noise.
std::span<const std::int32_t> Span(std::int64_t n) {
    static const std::vector<std::int32_t> codes = [] {
        SampleSource source(1, 4.0, 1250000.0);
        std::vector<std::int32_t> made;
        for (std::int64_t i = 0; i < kLongest; ++i) {
            made.push_back(source.NextCodes(kTopRateIndex, true)[0]);
        }
        return made;
    }();
    return {codes.data(), static_cast<std::size_t>(n)};
}

MeasureSettings TopRate() {
    MeasureSettings settings;
    settings.spsSel = kTopRateIndex;
    return settings;
}

void BM_NoiseAnalysis(benchmark::State& state) {
    const auto codes = Span(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(NoiseAnalysis::Compute(codes, TopRate()));
    }
}
BENCHMARK(BM_NoiseAnalysis)
    ->Arg(10000)
    ->Arg(kLongest)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Statistics(benchmark::State& state) {
    const auto codes = Span(kLongest);
    for (auto _ : state) {
        benchmark::DoNotOptimize(NoiseStatistics::Compute(codes, 31250.0));
    }
}
BENCHMARK(BM_Statistics)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Histogram(benchmark::State& state) {
    const auto codes = Span(kLongest);
    const NoiseStatistics statistics = NoiseStatistics::Compute(codes, 31250.0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(CodeHistogram::Compute(codes, statistics));
    }
}
BENCHMARK(BM_Histogram)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Spectrum(benchmark::State& state) {
    const auto codes = Span(kLongest);
    for (auto _ : state) {
        benchmark::DoNotOptimize(WelchSpectrum::Compute(codes, 31250.0));
    }
}
BENCHMARK(BM_Spectrum)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Allan(benchmark::State& state) {
    const auto codes = Span(kLongest);
    for (auto _ : state) {
        benchmark::DoNotOptimize(AllanDeviation::Compute(codes, 31250.0));
    }
}
BENCHMARK(BM_Allan)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return RatioReporter::RunAll(argc, argv, {});
}
