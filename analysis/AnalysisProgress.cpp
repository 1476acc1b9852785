// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/AnalysisProgress.h"

#include <algorithm>

double AnalysisProgress::Fraction() const {
    const double share = readShare.load();
    const std::int64_t whole = work.load();
    const double figures = whole > 0 ? static_cast<double>(done.load(std::memory_order_relaxed)) /
                                           static_cast<double>(whole)
                                     : 0.0;
    return std::clamp(share * read.load() + (1.0 - share) * figures, 0.0, 1.0);
}
