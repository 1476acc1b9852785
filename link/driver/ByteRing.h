// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

// Received bytes waiting to be read, oldest first, in a ring of fixed capacity. Not
// thread-safe; the owner guards it.
class ByteRing {
public:
    explicit ByteRing(std::size_t capacity);

    // Appends as many of `count` bytes as there is room for; returns how many.
    std::size_t Push(const unsigned char* data, std::size_t count);
    // Moves up to `count` bytes, oldest first, to `out`; returns how many.
    std::size_t Take(unsigned char* out, std::size_t count);
    void Clear();

    std::size_t Size() const { return used; }
    std::size_t Room() const { return ring.size() - used; }

private:
    std::vector<unsigned char> ring;
    std::size_t head = 0;  // index of the oldest byte
    std::size_t used = 0;
};
