// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

// The console report, followed by the ratio of each named pair of benchmarks measured in
// the same run (real time of the first over the second; medians when repeated), and the
// ratio of every "records/s" counter to a reference rate.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    using Pair = std::pair<std::string, std::string>;
    static constexpr const char* kRecordRate = "records/s";

    RatioReporter(std::vector<Pair> ratioPairs, double referenceRate);

    void ReportRuns(const std::vector<Run>& reports) override;
    void Finalize() override;

    // Runs every registered benchmark with this reporter; the program's exit code.
    static int RunAll(int argc, char** argv, std::vector<Pair> ratioPairs,
                      double referenceRate = 0.0);

private:
    std::vector<Pair> pairs;
    double rateReference;
    std::map<std::string, double> rates;    // records per second, by benchmark name
    std::map<std::string, double> seconds;  // by benchmark name (with arguments)
    std::map<std::string, bool> fMedian;
};
