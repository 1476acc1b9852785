// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/FlickerFit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr std::size_t kLeastPoints = 3;
constexpr double kToneSigma = 4.0;
constexpr double kStandsOut = 3.0;
constexpr int kMostIterations = 200;
constexpr double kSettled = 1e-13;

// The points, and which of them the fit still uses (not left out as tones).
struct Points {
    std::span<const double> f;
    std::span<const double> p;
    std::span<const double> nu;
    std::vector<bool> used;
};

struct Line {
    double w = 0.0;
    double a = 0.0;
    double At(double f) const { return w + a / f; }
};

// Σ weight · (1, 1/f)ᵀ(1, 1/f) and Σ weight · (1, 1/f)ᵀ P over the points used, weights ν / m²
// for the means m.
struct NormalEquations {
    double s00 = 0.0, s01 = 0.0, s11 = 0.0, b0 = 0.0, b1 = 0.0;

    NormalEquations(const Points& points, const std::vector<double>& means) {
        for (std::size_t k = 0; k < points.f.size(); ++k) {
            if (!points.used[k]) {
                continue;
            }
            const double m = means[k];
            const double weight = points.nu[k] / (m * m);
            const double x = 1.0 / points.f[k];
            s00 += weight;
            s01 += weight * x;
            s11 += weight * x * x;
            b0 += weight * points.p[k];
            b1 += weight * x * points.p[k];
        }
    }
    double Determinant() const { return s00 * s11 - s01 * s01; }
};

std::vector<double> Means(const Points& points, const Line& line) {
    std::vector<double> means(points.f.size());
    for (std::size_t k = 0; k < means.size(); ++k) {
        means[k] = line.At(points.f[k]);
    }
    return means;
}

// Σ ν over the points used.
double Weights(const Points& points) {
    double weights = 0.0;
    for (std::size_t k = 0; k < points.f.size(); ++k) {
        weights += points.used[k] ? points.nu[k] : 0.0;
    }
    return weights;
}

// The Gamma fit of a mean proportional to `x(f)` alone: Σ ν P / x over Σ ν.
template <typename X>
double OneTerm(const Points& points, X x) {
    double sum = 0.0;
    for (std::size_t k = 0; k < points.f.size(); ++k) {
        sum += points.used[k] ? points.nu[k] * points.p[k] / x(points.f[k]) : 0.0;
    }
    return sum / Weights(points);
}

// The log-likelihood of the points used under `line`, but for constants; none where a mean is
// not above 0.
double LogLikelihood(const Points& points, const Line& line) {
    double sum = 0.0;
    for (std::size_t k = 0; k < points.f.size(); ++k) {
        if (points.used[k]) {
            const double m = line.At(points.f[k]);
            if (!(m > 0.0)) {
                return -std::numeric_limits<double>::infinity();
            }
            sum -= points.nu[k] * (points.p[k] / m + std::log(m));
        }
    }
    return sum;
}

// Where the search starts: the median density as the level, and the lowest point's rise above
// it as the line there.
Line Start(const Points& points) {
    std::vector<double> used;
    double lowestF = 0.0;
    double lowestP = 0.0;
    for (std::size_t k = 0; k < points.f.size(); ++k) {
        if (points.used[k]) {
            if (used.empty()) {
                lowestF = points.f[k];
                lowestP = points.p[k];
            }
            used.push_back(points.p[k]);
        }
    }
    const std::size_t middle = used.size() / 2;
    std::nth_element(used.begin(), used.begin() + static_cast<long>(middle), used.end());
    double median = used[middle];
    if (used.size() % 2 == 0) {
        median =
            (median + *std::max_element(used.begin(), used.begin() + static_cast<long>(middle))) /
            2;
    }
    return {median, std::max(lowestP - median, median * 1e-3) * lowestF};
}

// Both terms above 0 by Fisher scoring (reweighted least squares, weights ν / m²), each step
// halved until it keeps them so and does not lower the likelihood.
Line BothTerms(const Points& points) {
    Line line = Start(points);
    for (int iteration = 0; iteration < kMostIterations; ++iteration) {
        const NormalEquations n(points, Means(points, line));
        const double det = n.Determinant();
        const Line full{(n.s11 * n.b0 - n.s01 * n.b1) / det, (n.s00 * n.b1 - n.s01 * n.b0) / det};
        const double before = LogLikelihood(points, line);
        Line next = full;
        for (double t = 1.0;; t /= 2) {
            next = {line.w + t * (full.w - line.w), line.a + t * (full.a - line.a)};
            if (next.w > 0.0 && next.a > 0.0 && LogLikelihood(points, next) >= before) {
                break;
            }
            if (t < kSettled) {
                return line;
            }
        }
        const bool fSettled = std::abs(next.w - line.w) <= kSettled * next.w &&
                              std::abs(next.a - line.a) <= kSettled * next.a;
        line = next;
        if (fSettled) {
            break;
        }
    }
    return line;
}

// The most likely of both terms, the level alone and the 1/f line alone.
Line FitLine(const Points& points) {
    const Line candidates[] = {BothTerms(points),
                               {OneTerm(points, [](double) { return 1.0; }), 0.0},
                               {0.0, OneTerm(points, [](double f) { return 1.0 / f; })}};
    const Line* best = &candidates[0];
    for (const Line& candidate : candidates) {
        if (LogLikelihood(points, candidate) > LogLikelihood(points, *best)) {
            best = &candidate;
        }
    }
    return *best;
}

// A Gamma of shape ν over its mean exceeds this one time in 30000 (the Wilson–Hilferty cube
// root of a chi-square of 2ν degrees of freedom).
double ToneRatio(double averages) {
    const double v = 2.0 / (9.0 * 2.0 * averages);
    return std::pow(1.0 - v + kToneSigma * std::sqrt(v), 3.0);
}

// Leaves out the point that stands above `line` as a tone by the largest margin; false when
// none does. One at a time: a tone lifts the fit, so the points beside it may only seem high.
bool LeaveOutTone(Points& points, const Line& line) {
    std::size_t highest = points.f.size();
    double margin = 1.0;
    for (std::size_t k = 0; k < points.f.size(); ++k) {
        const double ratio = points.p[k] / (ToneRatio(points.nu[k]) * line.At(points.f[k]));
        if (points.used[k] && ratio > margin) {
            highest = k;
            margin = ratio;
        }
    }
    if (highest == points.f.size()) {
        return false;
    }
    points.used[highest] = false;
    return true;
}

std::size_t UsedCount(const Points& points) {
    return static_cast<std::size_t>(std::count(points.used.begin(), points.used.end(), true));
}

// The terms of `line` that stand out of their standard errors, and the corner where both do
// and it lies among the points used.
FlickerFit Judged(const Points& points, const Line& line) {
    FlickerFit fit;
    if (!(line.w > 0.0)) {
        return fit;
    }
    if (!(line.a > 0.0)) {
        // The white level alone: its standard error is w / √Σν.
        if (std::sqrt(Weights(points)) > kStandsOut) {
            fit.white = line.w;
        }
        return fit;
    }
    // The inverse of the Fisher information gives the standard errors.
    const NormalEquations n(points, Means(points, line));
    const double det = n.Determinant();
    const bool fFlicker = line.a > kStandsOut * std::sqrt(n.s00 / det);
    if (line.w > kStandsOut * std::sqrt(n.s11 / det)) {
        fit.white = line.w;
    }
    double lowest = std::numeric_limits<double>::infinity();
    double highest = 0.0;
    for (std::size_t k = 0; k < points.f.size(); ++k) {
        if (points.used[k]) {
            lowest = std::min(lowest, points.f[k]);
            highest = std::max(highest, points.f[k]);
        }
    }
    const double corner = line.a / line.w;
    if (fit.white && fFlicker && corner >= lowest && corner <= highest) {
        fit.cornerHz = corner;
    }
    return fit;
}

}  // namespace

FlickerFit FlickerFit::Of(std::span<const double> frequencyHz, std::span<const double> density,
                          std::span<const double> averages) {
    Points points{frequencyHz, density, averages, std::vector<bool>(frequencyHz.size(), true)};
    if (points.f.size() < kLeastPoints) {
        return {};
    }
    if (std::all_of(density.begin(), density.end(), [](double p) { return p == 0.0; })) {
        return {0.0, std::nullopt};  // no noise at all
    }
    Line line = FitLine(points);
    while (LeaveOutTone(points, line)) {
        if (UsedCount(points) < kLeastPoints) {
            return {};
        }
        line = FitLine(points);
    }
    return Judged(points, line);
}
