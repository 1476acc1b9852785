// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/driver/ByteRing.h"

#include <algorithm>
#include <cstring>

ByteRing::ByteRing(std::size_t capacity) : ring(std::max<std::size_t>(capacity, 1)) {}

std::size_t ByteRing::Push(const unsigned char* data, std::size_t count) {
    count = std::min(count, Room());
    const std::size_t tail = (head + used) % ring.size();
    const std::size_t first = std::min(count, ring.size() - tail);
    std::memcpy(ring.data() + tail, data, first);
    std::memcpy(ring.data(), data + first, count - first);
    used += count;
    return count;
}

std::size_t ByteRing::Take(unsigned char* out, std::size_t count) {
    count = std::min(count, used);
    if (count == 0) {
        return 0;
    }
    const std::size_t first = std::min(count, ring.size() - head);
    std::memcpy(out, ring.data() + head, first);
    std::memcpy(out + first, ring.data(), count - first);
    head = (head + count) % ring.size();
    used -= count;
    return count;
}

void ByteRing::Clear() {
    head = 0;
    used = 0;
}
