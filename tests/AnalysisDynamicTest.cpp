// SPDX-License-Identifier: GPL-3.0-or-later
// The dynamic figures of a sine against the truth of synthetic codes: a seeded sine with set
// harmonics and Gaussian noise, quantised by the converter's code rule, whose SNR, THD, SINAD,
// SFDR and ENOB follow from the set amplitudes and noise power.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "analysis/DynamicFigures.h"
#include "boardsim/ConverterModel.h"
#include "common/Codes.h"

namespace {

constexpr double kFullScalePower = 2.5e6 * 2.5e6 / 2.0;  // µV², a sine of 2.5 V peak

struct SetHarmonic {
    int order;
    double dbc;
};

struct Sine {
    double rate;
    std::int64_t count;
    double hz;
    double peakMicrovolts;
    std::vector<SetHarmonic> harmonics;
    double noiseRmsMicrovolts;
    double offsetMicrovolts = 1234.5;
    double phase = 0.7;
};

double HarmonicPeak(const Sine& s, const SetHarmonic& h) {
    return s.peakMicrovolts * std::pow(10.0, h.dbc / 20.0);
}

std::vector<std::int32_t> Codes(const Sine& s, std::uint64_t seed = 29) {
    std::mt19937_64 engine(seed);
    std::normal_distribution<double> noise(0.0, s.noiseRmsMicrovolts);
    std::vector<std::int32_t> codes;
    codes.reserve(static_cast<std::size_t>(s.count));
    for (std::int64_t n = 0; n < s.count; ++n) {
        const double angle = 2.0 * std::numbers::pi * s.hz * static_cast<double>(n) / s.rate;
        double uv = s.offsetMicrovolts + s.peakMicrovolts * std::sin(angle + s.phase);
        for (const SetHarmonic& h : s.harmonics) {
            uv += HarmonicPeak(s, h) * std::sin(h.order * (angle + s.phase));
        }
        codes.push_back(ConverterModel::MicrovoltsToCode(uv + noise(engine)));
    }
    return codes;
}

// The figures the set signal has, from its powers: the noise is the Gaussian's plus the
// rounding to codes (a code step squared over 12).
struct Truth {
    explicit Truth(const Sine& s)
        : signal(s.peakMicrovolts * s.peakMicrovolts / 2.0),
          noise(s.noiseRmsMicrovolts * s.noiseRmsMicrovolts +
                kMicrovoltsPerCode * kMicrovoltsPerCode / 12.0) {
        for (const SetHarmonic& h : s.harmonics) {
            distortion += std::pow(HarmonicPeak(s, h), 2) / 2.0;
        }
    }
    double SnrDb() const { return 10.0 * std::log10(signal / noise); }
    double SinadDb() const { return 10.0 * std::log10(signal / (noise + distortion)); }
    double ThdDb() const { return 10.0 * std::log10(distortion / signal); }
    double LevelDbfs() const { return 10.0 * std::log10(signal / kFullScalePower); }

    double signal;
    double noise;
    double distortion = 0.0;
};

// Where harmonic h of f lands between 0 and half the rate.
double Folded(double hz, int order, double rate) {
    const double wrapped = std::fmod(order * hz, rate);
    return wrapped > rate / 2 ? rate - wrapped : wrapped;
}

const HarmonicFigure* Find(const SineFigures& sine, int order) {
    const auto it = std::find_if(sine.harmonics.begin(), sine.harmonics.end(),
                                 [order](const HarmonicFigure& h) { return h.order == order; });
    return it == sine.harmonics.end() ? nullptr : &*it;
}

struct TruthCase {
    std::string name;
    Sine sine;
    double toleranceDb;
    bool fThdCounted = true;  // some harmonic 2 .. 6 keeps clear of DC and the fundamental
};

constexpr double kTopRate = 31250.0;
constexpr std::int64_t kLong = 65536;
constexpr double kBin = kTopRate / kLong;

// Every figure against the truth of the set signal.
void ExpectTruth(const TruthCase& c, const DynamicFigures& figures) {
    const Sine& s = c.sine;
    const Truth truth(s);
    const double binHz = s.rate / static_cast<double>(s.count);
    ASSERT_TRUE(figures.sine);
    const SineFigures& f = *figures.sine;
    EXPECT_NEAR(f.fundamentalHz, s.hz, 0.01 * binHz);
    EXPECT_NEAR(f.fundamentalDbfs, truth.LevelDbfs(), 0.01);
    EXPECT_NEAR(f.fundamentalMicrovoltsRms, s.peakMicrovolts / std::sqrt(2.0),
                1e-3 * s.peakMicrovolts);
    EXPECT_NEAR(*f.snrDb, truth.SnrDb(), c.toleranceDb);
    EXPECT_NEAR(*f.sinadDb, truth.SinadDb(), c.toleranceDb);
    EXPECT_NEAR(*f.enobBits, (truth.SinadDb() - 1.76) / 6.02, c.toleranceDb / 6.02);
    EXPECT_NEAR(*f.enobFullScaleBits, (truth.SinadDb() - truth.LevelDbfs() - 1.76) / 6.02,
                c.toleranceDb / 6.02);
    // The noise spread evenly over 0 .. fs/2: per bin of fs/N, and per hertz.
    EXPECT_NEAR(
        *f.noiseFloorDbfs,
        10.0 * std::log10(truth.noise / (static_cast<double>(s.count) / 2.0) / kFullScalePower),
        c.toleranceDb);
    const double density = truth.noise / (s.rate / 2.0);
    EXPECT_NEAR(*f.noiseDensityDbfsPerHz, 10.0 * std::log10(density / kFullScalePower),
                c.toleranceDb);
    EXPECT_NEAR(*f.noiseDensityNanovoltsPerRootHz, std::sqrt(density) * 1000.0,
                std::sqrt(density) * 1000.0 * c.toleranceDb / 8.7);
    EXPECT_EQ(f.thdDb.has_value(), c.fThdCounted);
    if (c.fThdCounted) {
        EXPECT_NEAR(*f.thdDb, truth.ThdDb(), c.toleranceDb);
    }
    for (const SetHarmonic& h : s.harmonics) {
        const HarmonicFigure* found = Find(f, h.order);
        ASSERT_NE(found, nullptr) << "harmonic " << h.order;
        EXPECT_NEAR(found->frequencyHz, Folded(s.hz, h.order, s.rate), 0.05 * binHz);
        EXPECT_NEAR(found->dbc, h.dbc, c.toleranceDb) << "harmonic " << h.order;
    }
    // The largest spur is the largest harmonic set.
    const SetHarmonic& largest =
        *std::max_element(s.harmonics.begin(), s.harmonics.end(),
                          [](const SetHarmonic& a, const SetHarmonic& b) { return a.dbc < b.dbc; });
    EXPECT_NEAR(*f.sfdrDb, -largest.dbc, c.toleranceDb);
    EXPECT_NEAR(*f.sfdrSpurHz, Folded(s.hz, largest.order, s.rate), 0.1 * binHz);
}

// The sine fit recovers the set sine far inside a bin and agrees with the FFT's SINAD.
void ExpectFit(const Sine& s, const DynamicFigures& figures, double toleranceDb) {
    ASSERT_TRUE(figures.sine->fit);
    const SineFit& fit = *figures.sine->fit;
    const Truth truth(s);
    EXPECT_NEAR(fit.frequencyHz, s.hz, 1e-3 * s.rate / static_cast<double>(s.count));
    // Four standard deviations of the least-squares estimates in Gaussian noise; the offset
    // also takes up to a harmonic's peak over π times its cycles, which are not whole.
    const double spread = 4.0 * s.noiseRmsMicrovolts / std::sqrt(static_cast<double>(s.count));
    double harmonicLeak = 0.0;
    for (const SetHarmonic& h : s.harmonics) {
        const double cycles =
            static_cast<double>(h.order) * s.hz * static_cast<double>(s.count) / s.rate;
        harmonicLeak += HarmonicPeak(s, h) / (std::numbers::pi * cycles);
    }
    EXPECT_NEAR(fit.amplitudeMicrovolts, s.peakMicrovolts,
                1e-5 * s.peakMicrovolts + std::sqrt(2.0) * spread);
    EXPECT_NEAR(fit.offsetMicrovolts, s.offsetMicrovolts, spread + harmonicLeak + 0.05);
    // sin(x + φ) = cos(x + φ − π/2).
    EXPECT_NEAR(
        std::remainder(fit.phaseRadians - (s.phase - std::numbers::pi / 2), 2.0 * std::numbers::pi),
        0.0, 1e-4);
    EXPECT_NEAR(*fit.sinadDb, *figures.sine->sinadDb, toleranceDb);
    EXPECT_NEAR(*fit.sinadDb, truth.SinadDb(), toleranceDb);
    const double residual = std::sqrt(truth.noise + truth.distortion);
    EXPECT_NEAR(*fit.enobBits, std::log2(5e6 / (residual * std::sqrt(12.0))), toleranceDb / 6.02);
}

TEST(AnalysisDynamic, FiguresMatchTheTruthOfTheSetSine) {
    const std::vector<TruthCase> cases = {
        {"between bins", {kTopRate, kLong, 1000.37, 1e6, {{2, -80}, {3, -90}}, 5.0}, 0.2},
        // 2f and 3f pass half the rate and fold back to 12249.4 Hz and 2749.1 Hz.
        {"harmonics folding", {kTopRate, kLong, 9500.3, 1.5e6, {{2, -70}, {3, -75}}, 5.0}, 0.2},
        {"tone near DC", {kTopRate, kLong, 20.4 * kBin, 1e6, {{2, -85}}, 5.0}, 0.2},
        // The tone's lobe ends 3 bins short of half the rate, clear of its mirror image.
        {"tone near half the rate",
         {kTopRate, kLong, (kLong / 2 - 10.3) * kBin, 1e6, {{3, -80}}, 5.0},
         0.2},
        // A run of 10000 samples, no power of two, whose SNR of 63 dB and harmonic 13 dB over it
        // both count in SINAD; its fewer bins of noise spread the SNR by 0.15 dB.
        {"10000 noisy samples", {1007.0, 10000, 50.123, 2e5, {{2, -50}}, 100.0}, 0.5},
    };
    for (const TruthCase& c : cases) {
        SCOPED_TRACE(c.name);
        const DynamicFigures figures = DynamicFigures::Compute(Codes(c.sine), c.sine.rate);
        EXPECT_EQ(figures.samplesUsed, c.sine.count);
        ExpectTruth(c, figures);
        ExpectFit(c.sine, figures, c.toleranceDb);
    }
}

// Harmonics that land on DC, in the fundamental's bins or on an earlier harmonic are not
// counted: at a third of the rate every harmonic of 2 .. 10 does one of those; at a fifth,
// the third folds onto the second, and the fourth and sixth onto the fundamental.
TEST(AnalysisDynamic, HarmonicsThatLandOnOthersAreLeftOut) {
    const Sine third{kTopRate, kLong, (kLong / 3.0 + 0.37) * kBin, 1e6, {{2, -70}, {3, -70}}, 5.0};
    const DynamicFigures a = DynamicFigures::Compute(Codes(third), kTopRate);
    ASSERT_TRUE(a.sine);
    EXPECT_TRUE(a.sine->harmonics.empty());
    EXPECT_FALSE(a.sine->thdDb);
    EXPECT_NEAR(*a.sine->snrDb, Truth(third).SnrDb(), 0.2);

    const Sine fifth{kTopRate, kLong, (kLong / 5.0 + 0.37) * kBin, 1e6, {{2, -80}}, 5.0};
    const DynamicFigures b = DynamicFigures::Compute(Codes(fifth), kTopRate);
    ASSERT_TRUE(b.sine);
    ASSERT_EQ(b.sine->harmonics.size(), 1u);
    EXPECT_EQ(b.sine->harmonics[0].order, 2);
    EXPECT_NEAR(b.sine->harmonics[0].dbc, -80.0, 0.2);
    EXPECT_NEAR(*b.sine->thdDb, -80.0, 0.2);
    EXPECT_NEAR(*b.sine->sfdrDb, 80.0, 0.2);
}

// A sine is taken where its largest bin stands 40 dB over the median bin: for 65536 samples,
// that is an SNR of about −2.5 dB. Ten dB under it, a tone is noise; ten dB over, a sine with
// its true SNR.
TEST(AnalysisDynamic, ASineMustStandFortyDecibelsOutOfTheNoise) {
    const double noise = 1000.0;
    const auto peakAtSnr = [&](double snrDb) {
        return std::sqrt(2.0) * noise * std::pow(10.0, snrDb / 20.0);
    };
    const Sine weak{kTopRate, kLong, 3000.3, peakAtSnr(-12.5), {}, noise};
    const DynamicFigures below = DynamicFigures::Compute(Codes(weak), kTopRate);
    EXPECT_FALSE(below.sine);
    EXPECT_TRUE(below.spectrum);

    const Sine strong{kTopRate, kLong, 3000.3, peakAtSnr(7.5), {}, noise};
    const DynamicFigures above = DynamicFigures::Compute(Codes(strong), kTopRate);
    ASSERT_TRUE(above.sine);
    EXPECT_NEAR(above.sine->fundamentalHz, 3000.3, 0.05 * kBin);
    EXPECT_NEAR(*above.sine->snrDb, Truth(strong).SnrDb(), 0.2);
}

TEST(AnalysisDynamic, NoSineFoundGivesNoFigures) {
    struct Case {
        std::string name;
        std::vector<std::int32_t> codes;
        bool fSpectrum;
    };
    const Sine sine{kTopRate, 1024, 3000.3, 1e6, {}, 5.0};
    const Sine noise{kTopRate, kLong, 1000.0, 0.0, {}, 5.0};
    std::vector<std::int32_t> tooFew = Codes(sine);
    tooFew.pop_back();
    const std::vector<Case> cases = {
        {"1023 samples of a sine", tooFew, false},
        {"Gaussian noise alone", Codes(noise), true},
        {"a constant code", std::vector<std::int32_t>(4096, kMidScaleCode + 1000), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DynamicFigures figures = DynamicFigures::Compute(c.codes, kTopRate);
        EXPECT_FALSE(figures.sine);
        EXPECT_EQ(figures.spectrum.has_value(), c.fSpectrum);
    }
    // The shortest series that is analysed: 1024 samples give the sine and its SNR, whose
    // few noise bins spread it by 0.46 dB (over 200 seeds): within three of that.
    const DynamicFigures shortest = DynamicFigures::Compute(Codes(sine), kTopRate);
    ASSERT_TRUE(shortest.sine);
    EXPECT_NEAR(*shortest.sine->snrDb, Truth(sine).SnrDb(), 1.4);
}

// Past 2^20 samples only the first 2^20 count: a louder tone after them changes nothing.
TEST(AnalysisDynamic, ALongSeriesGivesItsFirstMillion) {
    const std::int64_t cap = DynamicFigures::kMaxSamples;
    const Sine first{kTopRate, cap, 1000.37, 1e6, {{2, -80}}, 5.0};
    std::vector<std::int32_t> codes = Codes(first);
    const Sine later{kTopRate, 4096, 7000.0, 2e6, {}, 5.0};
    const std::vector<std::int32_t> tail = Codes(later);
    codes.insert(codes.end(), tail.begin(), tail.end());
    const DynamicFigures figures = DynamicFigures::Compute(codes, kTopRate);
    EXPECT_EQ(figures.samplesUsed, cap);
    ASSERT_TRUE(figures.sine);
    EXPECT_NEAR(figures.sine->fundamentalHz, 1000.37, 0.01 * kTopRate / cap);
    EXPECT_NEAR(*figures.sine->snrDb, Truth(first).SnrDb(), 0.05);
    EXPECT_NEAR(Find(*figures.sine, 2)->dbc, -80.0, 0.05);
}

// The chart keeps every tone's height: at most 4096 points over 0 .. fs/2, the highest at the
// fundamental, the marks on the fundamental and the harmonics' largest bins.
TEST(AnalysisDynamic, ChartShowsTheTonesWhereTheyAre) {
    const Sine s{kTopRate, kLong, 1000.37, 1e6, {{2, -80}, {3, -90}}, 5.0};
    const DynamicFigures figures = DynamicFigures::Compute(Codes(s), kTopRate);
    ASSERT_TRUE(figures.spectrum);
    const DynamicSpectrum& chart = *figures.spectrum;
    EXPECT_LE(chart.frequencyHz.size(), DynamicSpectrum::kChartPoints);
    EXPECT_GT(chart.frequencyHz.size(), DynamicSpectrum::kChartPoints / 2);
    EXPECT_EQ(chart.dbfs.size(), chart.frequencyHz.size());
    EXPECT_DOUBLE_EQ(chart.binHz, kBin);
    const double group = 9 * kBin;  // 32769 bins in groups of 9
    EXPECT_LT(chart.frequencyHz.front(), group);
    EXPECT_GT(chart.frequencyHz.back(), kTopRate / 2 - group);
    const auto top = std::max_element(chart.dbfs.begin(), chart.dbfs.end()) - chart.dbfs.begin();
    EXPECT_NEAR(chart.frequencyHz[static_cast<std::size_t>(top)], 1000.37, kBin);
    // The largest bin of a tone holds its power over the window's noise bandwidth (2.63
    // bins, −4.20 dB), less up to 0.49 dB where the tone falls between bins.
    ASSERT_EQ(chart.marks.size(), 1 + figures.sine->harmonics.size());
    const double level = Truth(s).LevelDbfs();
    EXPECT_EQ(chart.marks[0].order, 1);
    EXPECT_EQ(chart.marks[0].dbfs, chart.dbfs[static_cast<std::size_t>(top)]);
    const auto expectPeak = [](double dbfs, double toneDbfs) {
        EXPECT_LE(dbfs, toneDbfs - 4.20 + 0.01);
        EXPECT_GE(dbfs, toneDbfs - 4.69 - 0.01);
    };
    expectPeak(chart.marks[0].dbfs, level);
    for (const int order : {2, 3}) {
        const auto mark = std::find_if(chart.marks.begin(), chart.marks.end(),
                                       [order](const SpectrumMark& m) { return m.order == order; });
        ASSERT_NE(mark, chart.marks.end()) << order;
        EXPECT_NEAR(mark->frequencyHz, order * 1000.37, kBin);
        expectPeak(mark->dbfs, level + s.harmonics[order - 2].dbc);
    }
}

}  // namespace
