// SPDX-License-Identifier: GPL-3.0-or-later
// The noise from 0.1 Hz against series whose truth is known: Gaussian white noise of a set
// density, 1/f noise made of first-order low-passes whose density is known exactly, sines
// inside and outside the 0.1–10 Hz band; and the same figures fed in pieces.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/FlickerFit.h"
#include "analysis/LogFrequencySpectrum.h"
#include "analysis/LowFrequencyNoise.h"
#include "common/Codes.h"

namespace {

constexpr double kPi = std::numbers::pi;

std::vector<std::int32_t> Codes(const std::vector<double>& microvolts) {
    std::vector<std::int32_t> codes;
    for (const double uv : microvolts) {
        codes.push_back(kMidScaleCode +
                        static_cast<std::int32_t>(std::lround(uv / kMicrovoltsPerCode)));
    }
    return codes;
}

std::vector<double> WhiteMicrovolts(std::size_t n, double rms, unsigned seed) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> normal(0.0, rms);
    std::vector<double> uv(n);
    for (double& u : uv) {
        u = normal(random);
    }
    return uv;
}

void AddSine(std::vector<double>& uv, double amplitude, double hz, double fs) {
    for (std::size_t i = 0; i < uv.size(); ++i) {
        uv[i] += amplitude * std::sin(2 * kPi * hz * static_cast<double>(i) / fs);
    }
}

// 1/f noise: first-order low-passes y[n] = p y[n-1] + g e[n] of unit white noise, two corners
// a decade from 1 mHz to fs / 20, each of low-frequency density ∝ 1 / corner, so that their sum
// is close to `level` / f (µV²/Hz). Its density is known exactly: Σ 2 g² / (fs |1 − p e^−iω|²).
struct Flicker {
    Flicker(double level, double fs) : rate(fs) {
        for (double corner = 1e-3; corner < fs / 20; corner *= std::sqrt(10.0)) {
            const double pole = std::exp(-2 * kPi * corner / fs);
            // Σ (c / f_i) / (1 + (f / f_i)²), two f_i a decade, is c π / (2 ln √10) / f.
            const double low = level * std::log(10.0) / kPi / corner;
            poles.push_back(pole);
            gains.push_back((1 - pole) * std::sqrt(low * fs / 2));
        }
    }
    void AddTo(std::vector<double>& uv, unsigned seed) const {
        std::mt19937_64 random(seed);
        std::normal_distribution<double> normal;
        for (std::size_t j = 0; j < poles.size(); ++j) {
            double y = 0.0;
            for (double& u : uv) {
                y = poles[j] * y + gains[j] * normal(random);
                u += y;
            }
        }
    }
    double Density(double f) const {
        const std::complex<double> z = std::polar(1.0, -2 * kPi * f / rate);
        double sum = 0.0;
        for (std::size_t j = 0; j < poles.size(); ++j) {
            sum += 2 * gains[j] * gains[j] / (rate * std::norm(1.0 - poles[j] * z));
        }
        return sum;
    }

    double rate;
    std::vector<double> poles;
    std::vector<double> gains;
};

// How far each point lies from the true density, in its own standard deviations
// (1 / (2 √averages) of the amplitude): their rms should be about 1 and none far out. Points
// whose band holds one of `tonesHz` are left out.
template <typename TrueDensity>
void ExpectWithinItsUncertainty(const LogNoiseSpectrum& s, TrueDensity truth,
                                const std::vector<double>& tonesHz = {}) {
    double squares = 0.0;
    int points = 0;
    for (std::size_t k = 0; k < s.frequencyHz.size(); ++k) {
        const auto inBand = [&](double tone) {
            return std::abs(std::log10(tone / s.frequencyHz[k])) < 0.05;
        };
        if (std::any_of(tonesHz.begin(), tonesHz.end(), inBand)) {
            continue;
        }
        const double expected = std::sqrt(truth(s.frequencyHz[k])) * 1000.0;
        const double z =
            (s.nanovoltsPerRootHz[k] / expected - 1.0) * 2.0 * std::sqrt(s.averages[k]);
        EXPECT_LT(std::abs(z), 4.5)
            << s.frequencyHz[k] << " Hz: " << s.nanovoltsPerRootHz[k] << " against " << expected;
        squares += z * z;
        ++points;
    }
    const double rmsZ = std::sqrt(squares / points);
    EXPECT_GT(rmsZ, 0.6);
    EXPECT_LT(rmsZ, 1.4);
}

// White noise of 20 codes rms at 1000 per second for 200 s, with a tone inside the fitted band
// near 20 Hz and one near 0.4 of the rate, which the first halving would fold onto 101.6 Hz
// without its low-pass. Both sit on a bin of every stage, so the window leaks them into the
// neighbouring bins only.
TEST(AnalysisLowFrequency, WhiteNoiseIsFlatAtItsDensityDownTo10OverT) {
    const double fs = 1000.0;
    const std::size_t n = 200000;
    const double inFit = 5 * fs / 256;      // 19.5 Hz
    const double folding = 102 * fs / 256;  // 398.4 Hz
    std::vector<double> uv = WhiteMicrovolts(n, 20 * kMicrovoltsPerCode, 1);
    AddSine(uv, 30.0, inFit, fs);
    AddSine(uv, 3000.0, folding, fs);
    const LogNoiseSpectrum s = LogFrequencySpectrum::Compute(Codes(uv), fs);
    // Rounding to codes adds a twelfth of a code² to the 400.
    const double density = 2 * (400 + 1.0 / 12) * kMicrovoltsPerCode * kMicrovoltsPerCode / fs;
    const double duration = n / fs;
    ASSERT_FALSE(s.frequencyHz.empty());
    EXPECT_LE(s.frequencyHz.front(), 10 / duration);
    EXPECT_GT(s.frequencyHz.front(), 10 / duration * std::pow(10, -0.1));
    EXPECT_LE(s.frequencyHz.back(), fs / 2);
    EXPECT_GT(s.frequencyHz.back(), fs / 2 * std::pow(10, -0.1));
    EXPECT_EQ(s.frequencyHz.size(),
              std::lround(10 * std::log10(s.frequencyHz.back() / s.frequencyHz.front())) + 1u);
    for (std::size_t k = 0; k < s.frequencyHz.size(); ++k) {
        if (s.frequencyHz[k] >= 150 / duration) {
            EXPECT_GE(s.averages[k], 25.0) << s.frequencyHz[k];  // ±10 % or better
        }
    }
    ExpectWithinItsUncertainty(s, [&](double) { return density; }, {inFit, folding});
    ASSERT_TRUE(s.whiteNoiseNanovoltsPerRootHz);
    EXPECT_NEAR(*s.whiteNoiseNanovoltsPerRootHz, std::sqrt(density) * 1000,
                0.02 * std::sqrt(density) * 1000);
    EXPECT_FALSE(s.flickerCornerHz);
}

TEST(AnalysisLowFrequency, FlickerNoiseGivesTheCornerWhereTheoryPutsIt) {
    const double fs = 1000.0;
    const double white = 0.1 * 0.1;          // (0.1 µV/√Hz)²
    const Flicker flicker(white * 1.0, fs);  // crossing near 1 Hz
    std::vector<double> uv = WhiteMicrovolts(1000000, std::sqrt(white * fs / 2), 2);
    flicker.AddTo(uv, 3);
    const LogNoiseSpectrum s = LogFrequencySpectrum::Compute(Codes(uv), fs);
    const double quantisation = 2 * kMicrovoltsPerCode * kMicrovoltsPerCode / 12 / fs;
    ExpectWithinItsUncertainty(s,
                               [&](double f) { return white + quantisation + flicker.Density(f); });
    // Where the exact density of the 1/f part meets the white level.
    double low = 0.01;
    double high = 100.0;
    while (high / low > 1 + 1e-9) {
        const double mid = std::sqrt(low * high);
        (flicker.Density(mid) > white + quantisation ? low : high) = mid;
    }
    ASSERT_TRUE(s.flickerCornerHz);
    EXPECT_NEAR(*s.flickerCornerHz, low, 0.15 * low);  // its standard error: about 4 %
    ASSERT_TRUE(s.whiteNoiseNanovoltsPerRootHz);
    const double whiteNv = std::sqrt(white + quantisation) * 1000;
    EXPECT_NEAR(*s.whiteNoiseNanovoltsPerRootHz, whiteNv, 0.02 * whiteNv);
}

// The slope of log amplitude over log frequency, weighted by the points' averages. The
// logarithm of a point worth ν values lies low by about (1/(2ν) + 1/(12ν²)) / 2 (that of a
// Gamma of shape ν), which is put back.
template <typename Amplitude>
double Slope(const LogNoiseSpectrum& s, double upToHz, Amplitude amplitude, bool fEstimated) {
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t k = 0; k < s.frequencyHz.size() && s.frequencyHz[k] <= upToHz; ++k) {
        const double nu = s.averages[k];
        const double x = std::log10(s.frequencyHz[k]);
        const double bias = fEstimated ? (1 / (2 * nu) + 1 / (12 * nu * nu)) / 2 : 0.0;
        const double y = std::log10(amplitude(k)) + bias / std::log(10.0);
        sw += nu, sx += nu * x, sy += nu * y, sxx += nu * x * x, sxy += nu * x * y;
    }
    return (sw * sxy - sx * sy) / (sw * sxx - sx * sx);
}

// 1/f noise far above the white noise of the codes' rounding, over three decades: the amplitude
// falls as f^(-1/2), and with no white level in sight there is neither a level nor a corner.
TEST(AnalysisLowFrequency, FlickerNoiseAloneFallsAsOneOverRootF) {
    const double fs = 1000.0;
    const Flicker flicker(1.0, fs);  // 1 µV/√Hz at 1 Hz
    std::vector<double> uv(1000000, 0.0);
    flicker.AddTo(uv, 9);
    const LogNoiseSpectrum s = LogFrequencySpectrum::Compute(Codes(uv), fs);
    // A decade below the last corner of the low-passes, beyond which the made-up 1/f falls faster.
    const double upTo = 10.0;
    const double trueSlope = Slope(
        s, upTo, [&](std::size_t k) { return std::sqrt(flicker.Density(s.frequencyHz[k])); },
        false);
    EXPECT_NEAR(trueSlope, -0.5, 0.03);
    EXPECT_NEAR(Slope(
                    s, upTo, [&](std::size_t k) { return s.nanovoltsPerRootHz[k]; }, true),
                trueSlope, 0.02);
    EXPECT_FALSE(s.whiteNoiseNanovoltsPerRootHz);
    EXPECT_FALSE(s.flickerCornerHz);
}

// The fit alone, on exact points of w + a / f: the corner exact, a tone left out, and no corner
// where the 1/f line meets the level outside the points or does not rise above its error.
TEST(AnalysisLowFrequency, CornerOnlyWhereA1OverFRegionShows) {
    struct Row {
        double corner;  // 0: no 1/f term
        double toneHz;  // 0: none
        bool fCorner;
        bool fWhite;
    };
    // Below the lowest point no 1/f region shows; far above the highest, no white level does.
    const Row rows[] = {{3.0, 0, true, true},
                        {3.0, 30.0, true, true},
                        {0.05, 0, false, true},
                        {800, 0, false, false},
                        {0, 0, false, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.corner);
        std::vector<double> f, p, nu;
        for (int k = -10; k <= 20; ++k) {  // 0.1 to 100 Hz
            f.push_back(std::pow(10.0, k / 10.0));
            p.push_back(2.0 * (1 + row.corner / f.back()));
            if (row.toneHz > 0 && std::abs(f.back() - row.toneHz) < 2) {
                p.back() *= 100;
            }
            nu.push_back(10 * f.back());
        }
        const FlickerFit fit = FlickerFit::Of(f, p, nu);
        ASSERT_EQ(fit.white.has_value(), row.fWhite);
        if (row.fWhite) {
            EXPECT_NEAR(*fit.white, 2.0, 1e-9);
        }
        EXPECT_EQ(fit.cornerHz.has_value(), row.fCorner);
        if (row.fCorner) {
            EXPECT_NEAR(*fit.cornerHz, row.corner, 1e-9);
        }
    }
    EXPECT_FALSE(FlickerFit::Of(std::vector<double>{1, 2}, std::vector<double>{1, 1},
                                std::vector<double>{9, 9})
                     .white);
}

// |H|² of the band: the bilinear transform's Butterworth responses in closed form.
double BandGainSquared(double f, double fs) {
    const auto t = [fs](double hz) { return std::tan(kPi * hz / fs); };
    return 1 / (1 + std::pow(t(f) / t(10.0), 8)) / (1 + std::pow(t(0.1) / t(f), 4));
}

TEST(AnalysisLowFrequency, BandNoiseOfWhiteNoiseIsTheFilteredDensity) {
    const double fs = 100.0;
    const double rms = 30 * kMicrovoltsPerCode;
    const std::vector<std::int32_t> codes = Codes(WhiteMicrovolts(200000, rms, 4));
    const auto figures = LowFrequencyNoise::Compute(codes, fs);
    ASSERT_TRUE(figures);
    // ∫ |H|² S df over 0 .. fs/2 by Simpson's rule, S the one-sided density of the noise and of
    // the rounding to codes.
    const double density = 2 * (rms * rms + kMicrovoltsPerCode * kMicrovoltsPerCode / 12) / fs;
    const int steps = 200000;
    const double h = fs / 2 / steps;
    double integral = 0.0;
    for (int i = 1; i < steps; ++i) {
        integral += (i % 2 == 1 ? 4 : 2) * BandGainSquared(i * h, fs);
    }
    const double expected = std::sqrt(density * integral * h / 3);
    EXPECT_NEAR(figures->rmsMicrovolts, expected, 0.02 * expected);
    EXPECT_EQ(figures->windows, 199);
    // Gaussian noise of that band spans about six times its rms in the median 10 s window.
    EXPECT_GT(figures->peakToPeakMedianMicrovolts, 5.5 * expected);
    EXPECT_LT(figures->peakToPeakMedianMicrovolts, 6.6 * expected);
    EXPECT_GE(figures->peakToPeakMaxMicrovolts, figures->peakToPeakMedianMicrovolts);
}

TEST(AnalysisLowFrequency, BandNoiseOfSinesInsideAndOutsideTheBand) {
    const double fs = 100.0;
    const double amplitude = 100000.0;  // µV
    for (const double hz : {0.01, 0.1, 1.0, 10.0, 40.0}) {
        SCOPED_TRACE(hz);
        std::vector<double> uv(200000, 0.0);
        AddSine(uv, amplitude, hz, fs);
        const auto figures = LowFrequencyNoise::Compute(Codes(uv), fs);
        ASSERT_TRUE(figures);
        const double gain = std::sqrt(BandGainSquared(hz, fs));
        EXPECT_NEAR(figures->rmsMicrovolts, amplitude * gain / std::sqrt(2.0),
                    0.01 * amplitude * gain);
        // A whole period in every window, and a hundred samples or more in one, so that the
        // samples reach its peaks.
        if (hz >= 0.1 && hz <= 1) {
            EXPECT_NEAR(figures->peakToPeakMedianMicrovolts, 2 * amplitude * gain,
                        0.01 * amplitude * gain);
        }
    }
}

TEST(AnalysisLowFrequency, TooShortOrTooSlowSeriesGiveNoFigures) {
    struct Row {
        double fs;
        std::size_t n;
        std::int64_t windows;  // 0: absent
    };
    const Row rows[] = {{100.0, 2000, 1},  {100.0, 1999, 0}, {100.2, 3006, 2}, {100.2, 3005, 1},
                        {20.0, 100000, 0}, {20.01, 401, 1},  {20.01, 400, 0},  {16.67, 100000, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.fs << " per second, " << row.n);
        const auto codes = Codes(WhiteMicrovolts(row.n, 10.0, 5));
        const auto figures = LowFrequencyNoise::Compute(codes, row.fs);
        EXPECT_EQ(figures ? figures->windows : 0, row.windows);
    }
    const std::vector<std::int32_t> few(255, kMidScaleCode);
    EXPECT_TRUE(LogFrequencySpectrum::Compute(few, 1000.0).frequencyHz.empty());
    const std::vector<std::int32_t> enough(256, kMidScaleCode);
    EXPECT_FALSE(LogFrequencySpectrum::Compute(enough, 1000.0).frequencyHz.empty());
}

TEST(AnalysisLowFrequency, PiecesOfAnySizeGiveTheFiguresOfTheWhole) {
    const double fs = 503.8;
    std::vector<double> uv = WhiteMicrovolts(70001, 5.0, 6);
    Flicker(1.0, fs).AddTo(uv, 7);
    const std::vector<std::int32_t> codes = Codes(uv);
    LogFrequencySpectrum spectrum(fs);
    LowFrequencyNoise band(fs);
    std::mt19937 random(8);
    for (std::size_t first = 0; first < codes.size();) {
        const std::size_t n = std::min<std::size_t>(random() % 700, codes.size() - first);
        spectrum.Add(std::span(codes).subspan(first, n));
        band.Add(std::span(codes).subspan(first, n));
        first += n;
    }
    const LogNoiseSpectrum whole = LogFrequencySpectrum::Compute(codes, fs);
    const LogNoiseSpectrum pieces = spectrum.Result();
    EXPECT_EQ(pieces.frequencyHz, whole.frequencyHz);
    EXPECT_EQ(pieces.nanovoltsPerRootHz, whole.nanovoltsPerRootHz);
    EXPECT_EQ(pieces.averages, whole.averages);
    EXPECT_EQ(pieces.flickerCornerHz, whole.flickerCornerHz);
    EXPECT_TRUE(whole.flickerCornerHz);
    const auto wholeBand = LowFrequencyNoise::Compute(codes, fs);
    ASSERT_TRUE(wholeBand);
    ASSERT_TRUE(band.Result());
    EXPECT_EQ(band.Result()->rmsMicrovolts, wholeBand->rmsMicrovolts);
    EXPECT_EQ(band.Result()->peakToPeakMaxMicrovolts, wholeBand->peakToPeakMaxMicrovolts);
    EXPECT_EQ(band.Result()->peakToPeakMedianMicrovolts, wholeBand->peakToPeakMedianMicrovolts);
    EXPECT_EQ(band.Result()->windows, 12);
}

}  // namespace
