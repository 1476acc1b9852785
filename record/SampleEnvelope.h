// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

// The extremes of one channel's codes, kept in levels as a recording grows so that a chart of
// any stretch of it is drawn from a few hundred points, whatever its length. Level k holds the
// smallest and largest code of each run of 2^k samples, from k = kFirstLevel up; the last
// samples, up to a fixed number, are kept themselves for close looks and the live figures.
// Memory: 8 bytes per 2^kFirstLevel samples over all levels together (1/32 of the codes'
// own size), plus the fixed recent store.
class SampleEnvelope {
public:
    static constexpr int kFirstLevel = 7;  // buckets of 128 samples
    static constexpr int kLevels = 40;     // up to buckets of 2^46 samples
    static constexpr std::size_t kRecentSamples = 100000;

    struct Extent {
        std::int32_t min;
        std::int32_t max;
    };
    // One stretch of samples and its extremes: a bucket of a level, or a single sample.
    struct Point {
        std::int64_t first;
        std::int64_t count;
        Extent extent;
    };

    void Add(std::span<const std::int32_t> codes);
    void Clear();
    std::int64_t Count() const { return count; }

    // The complete buckets of level k (kFirstLevel <= k < kFirstLevel + kLevels).
    const std::deque<Extent>& Level(int k) const;
    // The points that show samples [first, last) in at most `most` points (each bucket is drawn
    // as two points, its smallest and largest code): the samples themselves where the stretch
    // is short and still held, else the finest buckets of 2^k samples that fit (below the first
    // level made from the samples held), the last bucket possibly cut where the recording is.
    void Read(std::int64_t first, std::int64_t last, std::size_t most,
              std::vector<Point>& points) const;
    // The newest `n` samples, oldest first, as far as they are held.
    void Recent(std::size_t n, std::vector<std::int32_t>& codes) const;
    std::size_t RecentHeld() const;

private:
    void CloseFirstLevelBucket();
    // The finest level from `finest` up whose buckets of a stretch fit in `most` points.
    static int LevelFor(std::int64_t span, std::size_t most, int finest);
    std::int32_t Held(std::int64_t sample) const;
    void ReadHeld(std::int64_t first, std::int64_t last, int k, std::vector<Point>& points) const;
    Extent Tail(int k) const;  // the samples after the last complete bucket of level k

    std::int64_t count = 0;
    std::array<std::deque<Extent>, kLevels> levels;
    std::array<Extent, kLevels> partial{};  // of samples after each level's last bucket
    Extent open{};                          // the first level's bucket being filled
    std::vector<std::int32_t> recent = std::vector<std::int32_t>(kRecentSamples);
};
