// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "serve/web/ChartColumns.h"

namespace {

// Every sample of a run lands in exactly one column, in order, and no column is empty: the
// chart neither drops nor doubles a sample, whatever the run's count and the page's width.
TEST(WebChartColumns, EverySampleLandsInExactlyOneColumn) {
    for (const auto& [count, width] : {std::pair<std::int64_t, std::int64_t>{1048575, 977},
                                       {1000, 1000},
                                       {1001, 1000},
                                       {7, 3},
                                       {5, 800},
                                       {1, 1}}) {
        const ChartColumns columns(count, width);
        EXPECT_EQ(columns.Width(), std::min(count, width)) << count << " " << width;
        std::int64_t expected = 0;
        for (std::int64_t sample = 0; sample < count; ++sample) {
            const std::int64_t column = columns.ColumnOf(sample);
            ASSERT_TRUE(column == expected || column == expected + 1) << count << " " << sample;
            ASSERT_GE(sample, columns.FirstSample(column));
            ASSERT_LT(sample, columns.FirstSample(column + 1));
            expected = column;
        }
        EXPECT_EQ(expected, columns.Width() - 1) << count << " " << width;
    }
}

// The least and greatest code of each column, against a plain search; while the run goes on,
// the last column holds what it has so far and does not count as complete.
TEST(WebChartColumns, ExtremesOfPartlyFilledRunMatchAPlainSearch) {
    std::mt19937 random(3);
    std::uniform_int_distribution<std::int32_t> code(0, 16777215);
    std::vector<std::int32_t> codes(10000);
    std::generate(codes.begin(), codes.end(), [&] { return code(random); });
    const ChartColumns columns(10000, 640);
    for (const std::int64_t acquired : {1, 15, 16, 17, 5000, 9999, 10000}) {
        const std::span<const std::int32_t> held(codes.data(), static_cast<std::size_t>(acquired));
        const std::int64_t last = columns.ColumnOf(acquired - 1) + 1;
        const std::vector<std::int32_t> pairs = columns.Extremes(held, 0, last);
        ASSERT_EQ(static_cast<std::int64_t>(pairs.size()), 2 * last) << acquired;
        for (std::int64_t c = 0; c < last; ++c) {
            const auto begin = held.begin() + columns.FirstSample(c);
            const auto end = held.begin() + std::min(columns.FirstSample(c + 1), acquired);
            EXPECT_EQ(pairs[2 * c], *std::min_element(begin, end)) << acquired << " " << c;
            EXPECT_EQ(pairs[2 * c + 1], *std::max_element(begin, end)) << acquired << " " << c;
        }
        const std::int64_t complete = columns.Complete(acquired);
        EXPECT_EQ(complete, acquired == 10000                       ? 640
                            : columns.FirstSample(last) == acquired ? last
                                                                    : last - 1)
            << acquired;
    }
    // A later message starts at the first column not complete and repeats nothing before it.
    const std::vector<std::int32_t> rest = columns.Extremes(codes, 300, 640);
    EXPECT_EQ(rest.size(), 2u * 340);
    EXPECT_EQ(rest[0], *std::min_element(codes.begin() + columns.FirstSample(300),
                                         codes.begin() + columns.FirstSample(301)));
}

}  // namespace
