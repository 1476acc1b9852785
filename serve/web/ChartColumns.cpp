// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/web/ChartColumns.h"

#include <algorithm>

ChartColumns::ChartColumns(std::int64_t samples, std::int64_t columns)
    : count(std::max<std::int64_t>(samples, 1)),
      width(std::clamp<std::int64_t>(columns, 1, std::max<std::int64_t>(samples, 1))) {}

std::int64_t ChartColumns::Complete(std::int64_t acquired) const {
    return acquired >= count ? width : ColumnOf(acquired);
}

std::vector<std::int32_t> ChartColumns::Extremes(std::span<const std::int32_t> codes,
                                                 std::int64_t first, std::int64_t last) const {
    std::vector<std::int32_t> pairs;
    pairs.reserve(static_cast<std::size_t>(2 * std::max<std::int64_t>(last - first, 0)));
    const auto held = static_cast<std::int64_t>(codes.size());
    for (std::int64_t column = first; column < last; ++column) {
        const std::int64_t begin = FirstSample(column);
        const std::int64_t end = std::min(FirstSample(column + 1), held);
        if (begin >= end) {
            break;
        }
        const auto [least, greatest] =
            std::minmax_element(codes.begin() + begin, codes.begin() + end);
        pairs.push_back(*least);
        pairs.push_back(*greatest);
    }
    return pairs;
}
