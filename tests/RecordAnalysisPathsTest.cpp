// SPDX-License-Identifier: GPL-3.0-or-later
// A recording's figures the same to the last bit wherever its codes are kept (in memory, in the
// temporary file from the start, moved there midway), on however many threads, and the same as
// each figure computed over the whole series at once; the store's mapped reads; cancelling; a
// temporary file that cannot be made.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "analysis/AnalysisProgress.h"
#include "analysis/CodeSeries.h"
#include "analysis/DynamicFigureTable.h"
#include "analysis/NoiseFigureTable.h"
#include "analysis/ParallelAnalysis.h"
#include "common/Codes.h"
#include "record/CodeStore.h"
#include "record/RecordingAnalysis.h"

namespace {

namespace fs = std::filesystem;
using Codes = std::vector<std::int32_t>;

constexpr double kRate = 1000.0;  // 20 s of 0.1–10 Hz noise need only 20000 samples

std::string TemporaryPath(const std::string& name) {
    return (fs::temp_directory_path() /
            ("selkoran-" + name + '-' + std::to_string(::getpid()) + ".csv"))
        .string();
}

// Noise with a slow wander (so that the Allan deviation turns), and a sine over noise for the
// dynamic figures.
std::array<Codes, 2> TwoChannels(std::size_t count) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 12.0);
    std::array<Codes, 2> codes;
    double wander = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        wander += 0.05 * noise(random);
        codes[0].push_back(kMidScaleCode +
                           static_cast<std::int32_t>(std::lround(noise(random) + wander)));
        const double sine =
            2e6 * std::sin(2.0 * std::numbers::pi * 37.3 * static_cast<double>(i) / kRate);
        codes[1].push_back(kMidScaleCode + static_cast<std::int32_t>(std::lround(
                                               sine / kMicrovoltsPerCode + noise(random))));
    }
    return codes;
}

void WriteTable(const std::string& path, const std::array<Codes, 2>& codes) {
    std::ofstream out(path);
    out << "# spsSel:16\nsample,ch0_code,ch0_microvolts,ch1_code,ch1_microvolts\n";
    for (std::size_t i = 0; i < codes[0].size(); ++i) {
        out << i + 1 << ',' << codes[0][i] << ",0," << codes[1][i] << ",0\n";
    }
}

// The Allan deviation as it was computed before passes took several τ at once: the running
// sums of the whole series, one τ after the other, each sum of squares in the order of j.
AllanDeviation AllanOfRunningSums(const Codes& codes, double rate) {
    std::vector<std::int64_t> sums(codes.size() + 1, 0);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        sums[i + 1] = sums[i] + (std::int64_t{codes[i]} - codes.front());
    }
    std::vector<double> squareSums;
    const auto count = static_cast<std::int64_t>(codes.size());
    for (std::int64_t m = 1; 2 * m + 1 <= count; m *= 2) {
        double total = 0.0;
        for (std::int64_t j = 0; j + 2 * m <= count; ++j) {
            const auto d = static_cast<double>(sums[j + 2 * m] - 2 * sums[j + m] + sums[j]);
            total += d * d;
        }
        squareSums.push_back(total);
    }
    return AllanDeviation::FromSquareSums(count, rate, squareSums);
}

// Every figure of the whole series at once, each by its own function.
NoiseAnalysis WholeSeries(const Codes& codes) {
    NoiseAnalysis a;
    a.sampleRate = kRate;
    a.statistics = NoiseStatistics::Compute(codes, kRate);
    a.histogram = CodeHistogram::Compute(codes, a.statistics);
    a.spectrum = WelchSpectrum::Compute(codes, kRate);
    a.allan = AllanOfRunningSums(codes, kRate);
    a.logSpectrum = LogFrequencySpectrum::Compute(codes, kRate);
    a.lowFrequencyNoise = LowFrequencyNoise::Compute(codes, kRate);
    a.dynamic = DynamicFigures::Compute(codes, kRate);
    return a;
}

void ExpectSameRows(const std::vector<NoiseFigure>& a, const std::vector<NoiseFigure>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].name, b[i].name);
        EXPECT_EQ(a[i].value, b[i].value) << a[i].name;  // bit for bit, not merely near
        EXPECT_EQ(a[i].note, b[i].note) << a[i].name;
    }
}

// Every figure and every curve the charts draw, bit for bit.
void ExpectSame(const NoiseAnalysis& a, const NoiseAnalysis& b) {
    ExpectSameRows(NoiseFigureTable::Rows(a), NoiseFigureTable::Rows(b));
    EXPECT_EQ(a.histogram.counts, b.histogram.counts);
    EXPECT_EQ(a.spectrum.nanovoltsPerRootHz, b.spectrum.nanovoltsPerRootHz);
    EXPECT_EQ(a.logSpectrum.nanovoltsPerRootHz, b.logSpectrum.nanovoltsPerRootHz);
    EXPECT_EQ(a.logSpectrum.averages, b.logSpectrum.averages);
    EXPECT_EQ(a.allan.tauSeconds, b.allan.tauSeconds);
    EXPECT_EQ(a.allan.deviationMicrovolts, b.allan.deviationMicrovolts);
    ASSERT_EQ(a.dynamic.has_value(), b.dynamic.has_value());
    if (a.dynamic) {
        ExpectSameRows(DynamicFigureTable::Rows(*a.dynamic, 1),
                       DynamicFigureTable::Rows(*b.dynamic, 1));
        ASSERT_EQ(a.dynamic->spectrum.has_value(), b.dynamic->spectrum.has_value());
        EXPECT_EQ(a.dynamic->spectrum->dbfs, b.dynamic->spectrum->dbfs);
    }
}

RecordingAnalysis AnalyseWithBudget(const std::string& path, std::optional<std::size_t> budget) {
    RecordingAnalysis::Failure failure{};
    auto analysis = RecordingAnalysis::Analyse(
        {.path = path, .sampleRate = kRate, .fDynamic = true, .memoryBudget = budget}, &failure);
    EXPECT_EQ(failure, RecordingAnalysis::Failure::None);
    return analysis.value();
}

}  // namespace

// 300001 samples: Welch segments, stretches of the passes and the Allan passes of four τ all
// end midway through one another, and τ reaches 2^17 samples.
TEST(RecordAnalysisPaths, EveryFigureIsTheSameInMemoryInTheFileAndOverTheWholeSeries) {
    const std::string path = TemporaryPath("paths");
    const std::array<Codes, 2> codes = TwoChannels(300001);
    WriteTable(path, codes);
    const RecordingAnalysis inMemory = AnalyseWithBudget(path, std::nullopt);
    const RecordingAnalysis inFile = AnalyseWithBudget(path, 0);
    // Each channel's first 50000 codes in memory, the rest after them in the file.
    const RecordingAnalysis movedMidway = AnalyseWithBudget(path, 2 * 50000 * sizeof(std::int32_t));
    for (std::size_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        const NoiseAnalysis truth = WholeSeries(codes[c]);
        ASSERT_TRUE(truth.lowFrequencyNoise && truth.dynamic);
        EXPECT_EQ(truth.allan.tauSeconds.size(), 18u);
        for (const RecordingAnalysis* analysis : {&inMemory, &inFile, &movedMidway}) {
            ASSERT_EQ(analysis->channels.size(), 2u);
            EXPECT_EQ(analysis->channels[c].count, 300001);
            ExpectSame(*analysis->channels[c].analysis, truth);
        }
    }
    // The figures of a run in memory (measure, the window) come from the same tasks.
    const MeasureSettings settings{.spsSel = 16};
    const auto measured = NoiseAnalysis::WithDynamic(codes[1], settings);
    ASSERT_TRUE(measured);
    NoiseAnalysis atTheirRate = WholeSeries(codes[1]);
    EXPECT_EQ(measured->statistics.rmsMicrovolts, atTheirRate.statistics.rmsMicrovolts);
    EXPECT_EQ(measured->histogram.counts, atTheirRate.histogram.counts);
    EXPECT_EQ(measured->allan.deviationMicrovolts, atTheirRate.allan.deviationMicrovolts);
    fs::remove(path);
}

// Reads anywhere in a store whose codes went to the file in pieces of odd sizes, across the
// mapped stretches' edges, against the codes themselves.
TEST(RecordAnalysisPaths, TheStoresFileGivesBackEveryCodeWhereverItIsRead) {
    CodeStore store(1 << 20);  // 262144 codes in memory, then the file
    Codes codes;
    std::mt19937 random(3);
    while (codes.size() < 3000000) {
        const Codes piece(std::uniform_int_distribution<std::size_t>(1, 9000)(random),
                          static_cast<std::int32_t>(codes.size()));
        Codes numbered = piece;
        for (std::size_t i = 0; i < numbered.size(); ++i) {
            numbered[i] += static_cast<std::int32_t>(i);
        }
        ASSERT_TRUE(store.Append(numbered));
        codes.insert(codes.end(), numbered.begin(), numbered.end());
    }
    ASSERT_TRUE(store.Finish());
    ASSERT_TRUE(store.InFile());
    ASSERT_EQ(store.Count(), static_cast<std::int64_t>(codes.size()));
    const auto reader = store.Open();
    const auto count = static_cast<std::int64_t>(codes.size());
    for (int read = 0; read < 400; ++read) {
        const std::int64_t n =
            std::uniform_int_distribution<std::int64_t>(1, CodeSeries::kLongestRead)(random);
        const std::int64_t first =
            std::uniform_int_distribution<std::int64_t>(0, count - n)(random);
        const std::span<const std::int32_t> got = reader->Read(first, n);
        ASSERT_EQ(got.size(), static_cast<std::size_t>(n));
        ASSERT_TRUE(std::equal(got.begin(), got.end(), codes.begin() + first)) << first << ' ' << n;
    }
    // The very last code, alone.
    EXPECT_EQ(reader->Read(count - 1, 1).front(), codes.back());
}

// Codes whose reads stop the analysis from within, at the n-th read of any figure.
class CancellingCodes : public CodeSeries {
public:
    CancellingCodes(const Codes& held, AnalysisProgress& stopped, int reads)
        : codes(held), progress(stopped), readsLeft(reads) {}
    std::int64_t Count() const override { return static_cast<std::int64_t>(codes.size()); }
    std::unique_ptr<Reader> Open() const override {
        class Cancelling : public Reader {
        public:
            explicit Cancelling(const CancellingCodes& of)
                : series(of), inner(ReaderOf(of.codes)) {}
            std::span<const std::int32_t> Read(std::int64_t first, std::int64_t count) override {
                if (--series.readsLeft == 0) {
                    series.progress.Cancel();
                }
                return inner->Read(first, count);
            }

        private:
            const CancellingCodes& series;
            std::unique_ptr<Reader> inner;
        };
        return std::make_unique<Cancelling>(*this);
    }

private:
    const Codes& codes;
    AnalysisProgress& progress;
    mutable std::atomic<int> readsLeft;
};

TEST(RecordAnalysisPaths, ACancelledAnalysisGivesNoFiguresAndSaysItWasCancelled) {
    const Codes codes = TwoChannels(400000)[0];
    for (const int reads : {1, 40, 400}) {
        AnalysisProgress progress;
        const CancellingCodes series(codes, progress, reads);
        const CodeSeries* const channels[] = {&series};
        EXPECT_FALSE(ParallelAnalysis::Compute(channels, kRate, true, progress)) << reads;
        EXPECT_LT(progress.Fraction(), 1.0);
    }
    // Not cancelled, the bar ends full.
    AnalysisProgress progress;
    const CancellingCodes series(codes, progress, -1);
    const CodeSeries* const channels[] = {&series};
    ASSERT_TRUE(ParallelAnalysis::Compute(channels, kRate, true, progress));
    EXPECT_DOUBLE_EQ(progress.Fraction(), 1.0);

    // A recording cancelled while it is read: no figures, and the reason is the cancel.
    const std::string path = TemporaryPath("cancel");
    WriteTable(path, {codes, codes});
    AnalysisProgress cancelled;
    cancelled.Cancel();
    RecordingAnalysis::Failure failure{};
    EXPECT_FALSE(RecordingAnalysis::Analyse({.path = path, .progress = &cancelled}, &failure));
    EXPECT_EQ(failure, RecordingAnalysis::Failure::Cancelled);
    fs::remove(path);
}

// Codes beyond the budget with nowhere to go: a failure of the temporary file, not figures of
// the codes that happened to fit.
TEST(RecordAnalysisPaths, ATemporaryFileThatCannotBeMadeFailsTheAnalysis) {
    const std::string path = TemporaryPath("nowhere");
    const Codes codes = TwoChannels(30000)[0];
    WriteTable(path, {codes, codes});
    const char* before = std::getenv("TMPDIR");
    const std::string kept = before != nullptr ? before : "";
    ::setenv("TMPDIR", "/nonexistent-selkoran-folder", 1);
    RecordingAnalysis::Failure failure{};
    const auto analysis =
        RecordingAnalysis::Analyse({.path = path, .memoryBudget = 40000}, &failure);
    const RecordingAnalysis::Failure failed = failure;
    // Within the budget the same file needs no temporary file at all.
    const auto withinBudget = RecordingAnalysis::Analyse({.path = path}, &failure);
    before != nullptr ? ::setenv("TMPDIR", kept.c_str(), 1) : ::unsetenv("TMPDIR");
    EXPECT_FALSE(analysis);
    EXPECT_EQ(failed, RecordingAnalysis::Failure::TemporaryFile);
    EXPECT_TRUE(withinBudget);
    fs::remove(path);
}
