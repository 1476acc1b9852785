// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SineFit.h"

#include <array>
#include <cmath>
#include <numbers>
#include <numeric>
#include <utility>

#include "analysis/Decibels.h"
#include "common/Codes.h"

namespace {

constexpr int kMostSteps = 50;
// The frequency has settled once a step turns the phase at either end by less than this.
constexpr double kSettledPhaseRadians = 1e-9;
constexpr double kSqrt12 = 3.4641016151377544;

template <std::size_t Dim>
using Matrix = std::array<std::array<double, Dim>, Dim>;
template <std::size_t Dim>
using Vector = std::array<double, Dim>;

// Solves a · p = b by Gaussian elimination with partial pivoting; nothing when a is singular.
template <std::size_t Dim>
std::optional<Vector<Dim>> Solve(Matrix<Dim> a, Vector<Dim> b) {
    for (std::size_t col = 0; col < Dim; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < Dim; ++row) {
            if (std::abs(a[row][col]) > std::abs(a[pivot][col])) {
                pivot = row;
            }
        }
        if (a[pivot][col] == 0.0) {
            return std::nullopt;
        }
        std::swap(a[col], a[pivot]);
        std::swap(b[col], b[pivot]);
        for (std::size_t row = col + 1; row < Dim; ++row) {
            const double factor = a[row][col] / a[col][col];
            for (std::size_t k = col; k < Dim; ++k) {
                a[row][k] -= factor * a[col][k];
            }
            b[row] -= factor * b[col];
        }
    }
    Vector<Dim> p{};
    for (std::size_t col = Dim; col-- > 0;) {
        double rest = b[col];
        for (std::size_t k = col + 1; k < Dim; ++k) {
            rest -= a[col][k] * p[k];
        }
        p[col] = rest / a[col][col];
    }
    return p;
}

// The samples as the fit sees them: microvolts about their mean, against the sample index
// counted from the middle of the series, which keeps the frequency column of the normal
// equations well conditioned.
class FitData {
public:
    explicit FitData(std::span<const std::int32_t> series)
        : codes(series),
          meanCode(
              static_cast<double>(std::accumulate(series.begin(), series.end(), std::int64_t{0})) /
              static_cast<double>(series.size())),
          centre(0.5 * static_cast<double>(series.size() - 1)) {}

    std::size_t Size() const { return codes.size(); }
    double Centre() const { return centre; }
    double MeanMicrovolts() const { return (meanCode - kMidScaleCode) * kMicrovoltsPerCode; }
    double Microvolts(std::size_t n) const { return (codes[n] - meanCode) * kMicrovoltsPerCode; }
    double Time(std::size_t n) const { return static_cast<double>(n) - centre; }

    // Least squares of cos, sin and 1 at `omega` (radians per sample): A, B, C.
    std::optional<Vector<3>> ThreeParameters(double omega) const {
        Matrix<3> m{};
        Vector<3> r{};
        for (std::size_t n = 0; n < Size(); ++n) {
            const double u = omega * Time(n);
            Accumulate(Vector<3>{std::cos(u), std::sin(u), 1.0}, Microvolts(n), m, r);
        }
        return Solve(m, r);
    }

    // One Newton step of the four-parameter fit from (A, B, ω): new A, B, C and the frequency
    // correction in radians per sample.
    std::optional<Vector<4>> FourParameters(double a, double b, double omega) const {
        // The frequency column is scaled by the half length, so its entries stay near 1.
        const double halfLength = 0.5 * static_cast<double>(Size());
        Matrix<4> m{};
        Vector<4> r{};
        for (std::size_t n = 0; n < Size(); ++n) {
            const double t = Time(n);
            const double c = std::cos(omega * t);
            const double s = std::sin(omega * t);
            const double d = (b * c - a * s) * t / halfLength;
            Accumulate(Vector<4>{c, s, 1.0, d}, Microvolts(n), m, r);
        }
        auto p = Solve(m, r);
        if (p) {
            (*p)[3] /= halfLength;
        }
        return p;
    }

    double ResidualRms(const Vector<3>& abc, double omega) const {
        double sum = 0.0;
        for (std::size_t n = 0; n < Size(); ++n) {
            const double u = omega * Time(n);
            const double e = Microvolts(n) - (abc[0] * std::cos(u) + abc[1] * std::sin(u) + abc[2]);
            sum += e * e;
        }
        return std::sqrt(sum / static_cast<double>(Size()));
    }

private:
    template <std::size_t Dim>
    static void Accumulate(const Vector<Dim>& v, double y, Matrix<Dim>& m, Vector<Dim>& r) {
        for (std::size_t i = 0; i < Dim; ++i) {
            for (std::size_t j = 0; j < Dim; ++j) {
                m[i][j] += v[i] * v[j];
            }
            r[i] += v[i] * y;
        }
    }

    std::span<const std::int32_t> codes;
    double meanCode;
    double centre;
};

// The frequency, in radians per sample, that the Newton steps settle on; nothing when they
// leave (0, π) or do not settle.
std::optional<double> SettledFrequency(const FitData& data, double omega) {
    const auto start = data.ThreeParameters(omega);
    if (!start) {
        return std::nullopt;
    }
    double a = (*start)[0];
    double b = (*start)[1];
    const double halfLength = 0.5 * static_cast<double>(data.Size());
    for (int step = 0; step < kMostSteps; ++step) {
        const auto p = data.FourParameters(a, b, omega);
        if (!p) {
            return std::nullopt;
        }
        a = (*p)[0];
        b = (*p)[1];
        omega += (*p)[3];
        if (!(omega > 0.0 && omega < std::numbers::pi)) {
            return std::nullopt;
        }
        if (std::abs((*p)[3]) * halfLength < kSettledPhaseRadians) {
            return omega;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<SineFit> SineFit::Compute(std::span<const std::int32_t> codes, double sampleRate,
                                        double startHz) {
    if (codes.size() < 4) {
        return std::nullopt;
    }
    const FitData data(codes);
    const auto omega = SettledFrequency(data, 2.0 * std::numbers::pi * startHz / sampleRate);
    // A, B and C least-squares exact at the settled frequency, not the last step's linear guess.
    const auto abc = omega ? data.ThreeParameters(*omega) : std::nullopt;
    if (!abc) {
        return std::nullopt;
    }
    SineFit fit;
    fit.frequencyHz = *omega * sampleRate / (2.0 * std::numbers::pi);
    fit.amplitudeMicrovolts = std::hypot((*abc)[0], (*abc)[1]);
    // A cos(ωu) + B sin(ωu) = R cos(ωu − atan2(B, A)), with u = n − centre.
    fit.phaseRadians = std::remainder(-*omega * data.Centre() - std::atan2((*abc)[1], (*abc)[0]),
                                      2.0 * std::numbers::pi);
    fit.offsetMicrovolts = data.MeanMicrovolts() + (*abc)[2];
    fit.residualRmsMicrovolts = data.ResidualRms(*abc, *omega);
    const double residual = fit.residualRmsMicrovolts;
    fit.sinadDb = PowerRatioDecibels(fit.amplitudeMicrovolts * fit.amplitudeMicrovolts / 2.0 /
                                     (residual * residual));
    if (residual > 0.0) {
        fit.enobBits = std::log2(kInputSpanMicrovolts / (residual * kSqrt12));
    }
    return fit;
}
