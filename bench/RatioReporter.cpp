// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/RatioReporter.h"

#include <cstdio>

RatioReporter::RatioReporter(std::vector<Pair> ratioPairs, double referenceRate)
    : ConsoleReporter(OO_Tabular), pairs(std::move(ratioPairs)), rateReference(referenceRate) {}

void RatioReporter::ReportRuns(const std::vector<Run>& reports) {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
        if (run.error_occurred) {
            continue;
        }
        // Named by function and arguments, without the timing and repetition suffixes.
        const auto& runName = run.run_name;
        const std::string name =
            runName.function_name + (runName.args.empty() ? "" : "/" + runName.args);
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        const bool single = run.run_type == Run::RT_Iteration;
        // A median replaces single repetitions; single repetitions never replace a median.
        if (median || (single && !fMedian[name])) {
            seconds[name] =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            fMedian[name] = median;
            const auto rate = run.counters.find(kRecordRate);
            if (rate != run.counters.end()) {
                rates[name] = rate->second.value;
            }
        }
    }
}

void RatioReporter::Finalize() {
    ConsoleReporter::Finalize();
    for (const auto& [measured, reference] : pairs) {
        const auto a = seconds.find(measured);
        const auto b = seconds.find(reference);
        if (a == seconds.end() || b == seconds.end() || b->second <= 0.0) {
            continue;
        }
        std::printf("ratio %s / %s = %.2f  (%.3f ms / %.3f ms)\n", measured.c_str(),
                    reference.c_str(), a->second / b->second, a->second * 1e3, b->second * 1e3);
    }
    for (const auto& [name, rate] : rates) {
        if (rateReference > 0.0) {
            std::printf("ratio %s %s / %.0f = %.0f  (%.3g records/s)\n", name.c_str(), kRecordRate,
                        rateReference, rate / rateReference, rate);
        }
    }
    std::fflush(stdout);
}

int RatioReporter::RunAll(int argc, char** argv, std::vector<Pair> ratioPairs,
                          double referenceRate) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter(std::move(ratioPairs), referenceRate);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
