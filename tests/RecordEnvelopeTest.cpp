// SPDX-License-Identifier: GPL-3.0-or-later
// The extremes kept for the recording chart, against the samples themselves.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "record/SampleEnvelope.h"

namespace {

SampleEnvelope::Extent ExtentOf(const std::vector<std::int32_t>& codes, std::int64_t first,
                                std::int64_t n) {
    const auto begin = codes.begin() + first;
    const auto [low, high] = std::minmax_element(begin, begin + n);
    return {*low, *high};
}

}  // namespace

// Random lengths fed in random block sizes: every bucket of every level, and every point a
// chart reads, holds exactly the extremes of its own samples.
TEST(RecordEnvelope, EveryBucketHoldsTheExtremesOfItsSamples) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 12; ++round) {
        const auto length = std::uniform_int_distribution<std::int64_t>(1, 300000)(random);
        std::uniform_int_distribution<std::int32_t> code(0, 16777215);
        std::vector<std::int32_t> codes(static_cast<std::size_t>(length));
        for (auto& c : codes) {
            c = code(random);
        }
        SampleEnvelope envelope;
        for (std::int64_t fed = 0; fed < length;) {
            const auto block =
                std::min(length - fed, std::uniform_int_distribution<std::int64_t>(1, 250)(random));
            envelope.Add(std::span(codes).subspan(static_cast<std::size_t>(fed),
                                                  static_cast<std::size_t>(block)));
            fed += block;
        }
        SCOPED_TRACE(length);
        ASSERT_EQ(envelope.Count(), length);

        for (int k = SampleEnvelope::kFirstLevel; (std::int64_t{1} << k) <= length; ++k) {
            const std::int64_t size = std::int64_t{1} << k;
            const auto& level = envelope.Level(k);
            ASSERT_EQ(static_cast<std::int64_t>(level.size()), length / size) << "level " << k;
            for (std::size_t i = 0; i < level.size(); ++i) {
                const auto expected = ExtentOf(codes, static_cast<std::int64_t>(i) * size, size);
                ASSERT_EQ(level[i].min, expected.min) << "level " << k << " bucket " << i;
                ASSERT_EQ(level[i].max, expected.max) << "level " << k << " bucket " << i;
            }
        }

        for (int view = 0; view < 20; ++view) {
            // The live chart reads up to the newest sample; a zoom anywhere.
            auto first = std::uniform_int_distribution<std::int64_t>(0, length - 1)(random);
            auto last =
                view < 6 ? length
                         : std::uniform_int_distribution<std::int64_t>(first + 1, length)(random);
            const std::size_t most = view % 2 == 0 ? 1600 : 400;
            std::vector<SampleEnvelope::Point> points;
            envelope.Read(first, last, most, points);
            ASSERT_FALSE(points.empty());
            EXPECT_LE(points.size() * (points.front().count == 1 ? 1 : 2), most);
            // The points cover the stretch without gaps, each with its samples' extremes.
            EXPECT_LE(points.front().first, first);
            EXPECT_GE(points.back().first + points.back().count, last);
            for (std::size_t i = 0; i < points.size(); ++i) {
                const auto& p = points[i];
                if (i > 0) {
                    ASSERT_EQ(p.first, points[i - 1].first + points[i - 1].count);
                }
                const auto expected = ExtentOf(codes, p.first, p.count);
                ASSERT_EQ(p.extent.min, expected.min) << p.first << "+" << p.count;
                ASSERT_EQ(p.extent.max, expected.max) << p.first << "+" << p.count;
            }
        }

        // The newest samples, for the live figures.
        std::vector<std::int32_t> recent;
        envelope.Recent(1000, recent);
        const auto n = std::min<std::int64_t>(1000, length);
        EXPECT_TRUE(std::equal(recent.begin(), recent.end(), codes.end() - n, codes.end()));
    }
}

// A short stretch among the newest samples is drawn from the samples themselves; one older
// than the samples held comes from the finest level.
TEST(RecordEnvelope, ShortRecentStretchesAreTheSamplesThemselves) {
    SampleEnvelope envelope;
    std::vector<std::int32_t> codes(SampleEnvelope::kRecentSamples + 5000);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        codes[i] = static_cast<std::int32_t>((i * 7919) % 16777216);
    }
    envelope.Add(codes);
    std::vector<SampleEnvelope::Point> points;
    const auto end = static_cast<std::int64_t>(codes.size());
    envelope.Read(end - 1000, end, 1600, points);
    ASSERT_EQ(points.size(), 1000u);
    EXPECT_EQ(points.front().count, 1);
    EXPECT_EQ(points.back().extent.min, codes.back());

    envelope.Read(0, 1000, 1600, points);
    EXPECT_EQ(points.front().count, std::int64_t{1} << SampleEnvelope::kFirstLevel);
}
