// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingIndex.h"

#include <algorithm>

#include "record/RecordingReader.h"

void RecordingIndex::Begin(std::string path, std::vector<int> channels) {
    filePath = std::move(path);
    fileChannels = std::move(channels);
    offsets.clear();
}

void RecordingIndex::Note(std::int64_t sample, std::uint64_t offset) {
    if (sample == static_cast<std::int64_t>(offsets.size()) * kStride) {
        offsets.push_back(offset);
    }
}

bool RecordingIndex::Read(std::int64_t first, std::int64_t last, std::uint64_t readable,
                          std::array<std::vector<std::int32_t>, 2>& codes) const {
    for (auto& channel : codes) {
        channel.clear();
    }
    const std::int64_t entry = first / kStride;
    if (first < 0 || first >= last || entry >= static_cast<std::int64_t>(offsets.size())) {
        return false;
    }
    const std::int64_t start = entry * kStride;
    const auto want = static_cast<std::size_t>(last - first);
    std::int64_t row = start;  // the sample of the next row handed on
    const auto take = [&](std::span<const std::int32_t> ch0, std::span<const std::int32_t> ch1) {
        const std::int64_t n = static_cast<std::int64_t>(std::max(ch0.size(), ch1.size()));
        const std::int64_t from = std::clamp<std::int64_t>(first - row, 0, n);
        const std::int64_t to = std::clamp<std::int64_t>(last - row, 0, n);
        const std::array<std::span<const std::int32_t>, 2> handed{ch0, ch1};
        for (std::size_t i = 0; i < codes.size(); ++i) {
            if (!handed[i].empty()) {
                codes[i].insert(codes[i].end(), handed[i].begin() + from, handed[i].begin() + to);
            }
        }
        row += n;
        return row < last;
    };
    const RecordingReader::Rows rows{offsets[static_cast<std::size_t>(entry)], readable,
                                     fileChannels, start + 1};
    RecordingReader::ReadRows(filePath, rows, take);
    // A reading the sink stopped reports false; what counts is whether every row came.
    return std::all_of(fileChannels.begin(), fileChannels.end(), [&](int channel) {
        return codes[static_cast<std::size_t>(channel)].size() == want;
    });
}
