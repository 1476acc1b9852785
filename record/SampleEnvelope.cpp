// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/SampleEnvelope.h"

#include <algorithm>

namespace {

constexpr std::int64_t kFirstBucket = std::int64_t{1} << SampleEnvelope::kFirstLevel;

SampleEnvelope::Extent Merge(SampleEnvelope::Extent a, SampleEnvelope::Extent b) {
    return {std::min(a.min, b.min), std::max(a.max, b.max)};
}

// First-level buckets per bucket of level index j.
std::int64_t BucketsPer(int j) {
    return std::int64_t{1} << j;
}

}  // namespace

void SampleEnvelope::Add(std::span<const std::int32_t> codes) {
    for (const std::int32_t code : codes) {
        recent[static_cast<std::size_t>(count % static_cast<std::int64_t>(kRecentSamples))] = code;
        open = count % kFirstBucket == 0 ? Extent{code, code} : Merge(open, {code, code});
        ++count;
        if (count % kFirstBucket == 0) {
            CloseFirstLevelBucket();
        }
    }
}

void SampleEnvelope::Clear() {
    count = 0;
    for (auto& level : levels) {
        level.clear();
    }
    partial = {};
    open = {};
}

void SampleEnvelope::CloseFirstLevelBucket() {
    const std::int64_t closed = count / kFirstBucket;  // first-level buckets complete now
    levels[0].push_back(open);
    for (int j = 1; j < kLevels; ++j) {
        auto& into = partial[static_cast<std::size_t>(j)];
        into = (closed - 1) % BucketsPer(j) == 0 ? open : Merge(into, open);
        if (closed % BucketsPer(j) == 0) {
            levels[static_cast<std::size_t>(j)].push_back(into);
        }
    }
}

const std::deque<SampleEnvelope::Extent>& SampleEnvelope::Level(int k) const {
    return levels[static_cast<std::size_t>(std::clamp(k - kFirstLevel, 0, kLevels - 1))];
}

SampleEnvelope::Extent SampleEnvelope::Tail(int k) const {
    const int j = k - kFirstLevel;
    const bool fOpen = count % kFirstBucket != 0;
    const bool fPartial = j > 0 && (count / kFirstBucket) % BucketsPer(j) != 0;
    if (fOpen && fPartial) {
        return Merge(open, partial[static_cast<std::size_t>(j)]);
    }
    return fPartial ? partial[static_cast<std::size_t>(j)] : open;
}

std::size_t SampleEnvelope::RecentHeld() const {
    return static_cast<std::size_t>(std::min<std::int64_t>(count, kRecentSamples));
}

void SampleEnvelope::Recent(std::size_t n, std::vector<std::int32_t>& codes) const {
    n = std::min(n, RecentHeld());
    codes.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto sample = static_cast<std::size_t>(count) - n + i;
        codes[i] = Held(static_cast<std::int64_t>(sample));
    }
}

int SampleEnvelope::LevelFor(std::int64_t span, std::size_t most, int finest) {
    const auto buckets = static_cast<std::int64_t>(std::max<std::size_t>(most / 2, 2));
    for (int k = finest; k < kFirstLevel + kLevels - 1; ++k) {
        // A stretch that does not start on a bucket's edge touches one bucket more.
        if ((span >> k) + 2 <= buckets) {
            return k;
        }
    }
    return kFirstLevel + kLevels - 1;
}

std::int32_t SampleEnvelope::Held(std::int64_t sample) const {
    return recent[static_cast<std::size_t>(sample % static_cast<std::int64_t>(kRecentSamples))];
}

void SampleEnvelope::Read(std::int64_t first, std::int64_t last, std::size_t most,
                          std::vector<Point>& points) const {
    points.clear();
    first = std::max<std::int64_t>(first, 0);
    last = std::min(last, count);
    if (first >= last) {
        return;
    }
    const std::int64_t span = last - first;
    const bool fHeld = first >= count - static_cast<std::int64_t>(RecentHeld());
    if (fHeld && static_cast<std::size_t>(span) <= most) {
        for (std::int64_t i = first; i < last; ++i) {
            points.push_back({i, 1, {Held(i), Held(i)}});
        }
        return;
    }
    const int k = LevelFor(span, most, fHeld ? 1 : kFirstLevel);
    if (k < kFirstLevel) {
        ReadHeld(first, last, k, points);
        return;
    }
    const auto& level = Level(k);
    for (std::int64_t bucket = first >> k; bucket <= (last - 1) >> k; ++bucket) {
        const std::int64_t start = bucket << k;
        if (bucket < static_cast<std::int64_t>(level.size())) {
            points.push_back(
                {start, std::int64_t{1} << k, level[static_cast<std::size_t>(bucket)]});
        } else {
            points.push_back({start, count - start, Tail(k)});
        }
    }
}

// Buckets finer than the first level, from the samples held: a close look at the newest part.
void SampleEnvelope::ReadHeld(std::int64_t first, std::int64_t last, int k,
                              std::vector<Point>& points) const {
    const std::int64_t size = std::int64_t{1} << k;
    const std::int64_t oldest = count - static_cast<std::int64_t>(RecentHeld());
    for (std::int64_t start = (first >> k) << k; start < last; start += size) {
        // A bucket reaching back before the samples held starts with them.
        const std::int64_t from = std::max(start, oldest);
        const std::int64_t to = std::min(start + size, count);
        Extent extent{Held(from), Held(from)};
        for (std::int64_t i = from + 1; i < to; ++i) {
            extent = Merge(extent, {Held(i), Held(i)});
        }
        points.push_back({from, to - from, extent});
    }
}
