// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/CodeSeries.h"

namespace {

class MemoryReader : public CodeSeries::Reader {
public:
    explicit MemoryReader(std::span<const std::int32_t> held) : codes(held) {}
    std::span<const std::int32_t> Read(std::int64_t first, std::int64_t count) override {
        return codes.subspan(static_cast<std::size_t>(first), static_cast<std::size_t>(count));
    }

private:
    std::span<const std::int32_t> codes;
};

class MemoryCodes : public CodeSeries {
public:
    explicit MemoryCodes(std::span<const std::int32_t> held) : codes(held) {}
    std::int64_t Count() const override { return static_cast<std::int64_t>(codes.size()); }
    std::unique_ptr<Reader> Open() const override { return ReaderOf(codes); }

private:
    std::span<const std::int32_t> codes;
};

}  // namespace

std::unique_ptr<CodeSeries::Reader> CodeSeries::ReaderOf(std::span<const std::int32_t> codes) {
    return std::make_unique<MemoryReader>(codes);
}

std::unique_ptr<CodeSeries> CodeSeries::InMemory(std::span<const std::int32_t> codes) {
    return std::make_unique<MemoryCodes>(codes);
}
