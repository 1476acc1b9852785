// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/NoiseAnalysis.h"

#include <memory>

#include "analysis/AnalysisProgress.h"
#include "analysis/CodeSeries.h"
#include "analysis/ParallelAnalysis.h"
#include "common/SampleRates.h"

namespace {

// The figures of codes in memory, by the same tasks as a recording's.
std::optional<NoiseAnalysis> InMemory(std::span<const std::int32_t> codes,
                                      const MeasureSettings& settings, bool fDynamic) {
    const std::unique_ptr<CodeSeries> series = CodeSeries::InMemory(codes);
    const CodeSeries* const channels[] = {series.get()};
    AnalysisProgress progress;
    auto analyses = ParallelAnalysis::Compute(channels, SampleRates::SamplesPerSecond(settings),
                                              fDynamic, progress);
    return std::move(analyses->front());  // reads from memory never fail
}

}  // namespace

std::optional<NoiseAnalysis> NoiseAnalysis::Compute(std::span<const std::int32_t> codes,
                                                    const MeasureSettings& settings) {
    return InMemory(codes, settings, false);
}

std::optional<NoiseAnalysis> NoiseAnalysis::WithDynamic(std::span<const std::int32_t> codes,
                                                        const MeasureSettings& settings) {
    return InMemory(codes, settings, true);
}
