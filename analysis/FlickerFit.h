// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <span>

// The white level w and the 1/f line a / f fitted to points of a power density P(f) = w + a/f,
// and the 1/f corner a / w where the line crosses the level.
//
// Each point is an average of periodogram values and so, for noise, a Gamma variable of mean
// w + a/f and shape `averages`. The fit is that distribution's maximum likelihood, unbiased
// however few values a point holds: Fisher scoring (reweighted least squares, weights
// averages / mean²) from the median density as the level and the lowest point's rise above it
// as the line, each step halved until both terms stay above 0 and the likelihood does not
// fall; or one term alone where that is more likely. A point above its fit by more than a
// Gamma of its shape reaches one time in 30000 (4 σ) is a tone, not noise: the highest such is
// left out and the fit repeated, until none is. A term is given only where it stands out of
// its own standard error three times (the inverse of the Fisher information); the corner only
// where both do and it lies among the points fitted: else no 1/f region shows.
struct FlickerFit {
    std::optional<double> white;  // w, in the density's unit
    std::optional<double> cornerHz;

    // Needs three points or more; fewer give neither.
    static FlickerFit Of(std::span<const double> frequencyHz, std::span<const double> density,
                         std::span<const double> averages);
};
