// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>

// One channel's codes in order, wherever they are kept: in memory, or in a file when a
// recording is too long to hold (record/CodeStore). Every figure reads them through readers of
// its own, several at once and from any thread, so a figure is the same arithmetic in the same
// order wherever the codes are.
class CodeSeries {
public:
    // The most codes one read returns.
    static constexpr std::int64_t kLongestRead = std::int64_t{1} << 20;

    class Reader {
    public:
        virtual ~Reader() = default;
        // Codes [first, first + count), 1 <= count <= kLongestRead, within the series; valid
        // until this reader's next read. Empty when they could not be read.
        virtual std::span<const std::int32_t> Read(std::int64_t first, std::int64_t count) = 0;
    };

    virtual ~CodeSeries() = default;
    virtual std::int64_t Count() const = 0;
    virtual std::unique_ptr<Reader> Open() const = 0;

    // Codes the caller holds for as long as the series lives.
    static std::unique_ptr<CodeSeries> InMemory(std::span<const std::int32_t> codes);
    // A reader of codes the caller holds for as long as the reader lives.
    static std::unique_ptr<Reader> ReaderOf(std::span<const std::int32_t> codes);
};
