#include "FtdiReceiveQueue.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::size_t kStatusBytes = 2;
}  // namespace

FtdiReceiveQueue::FtdiReceiveQueue(std::size_t capacity, std::size_t maxPacketSize)
    : ring(std::max<std::size_t>(capacity, 1)),
      packetSize(std::max(maxPacketSize, kStatusBytes + 1)) {}

bool FtdiReceiveQueue::CanTake(std::size_t transferBytes) const {
    return transferBytes <= ring.size() - used;
}

std::size_t FtdiReceiveQueue::AppendTransfer(const unsigned char* data, std::size_t size) {
    std::size_t queued = 0;
    for (std::size_t offset = 0; offset < size; offset += packetSize) {
        const std::size_t piece = std::min(packetSize, size - offset);
        if (piece > kStatusBytes) {
            queued += Push(data + offset + kStatusBytes, piece - kStatusBytes);
        }
    }
    return queued;
}

std::size_t FtdiReceiveQueue::Push(const unsigned char* data, std::size_t count) {
    count = std::min(count, ring.size() - used);
    const std::size_t tail = (head + used) % ring.size();
    const std::size_t first = std::min(count, ring.size() - tail);
    std::memcpy(ring.data() + tail, data, first);
    std::memcpy(ring.data(), data + first, count - first);
    used += count;
    return count;
}

std::size_t FtdiReceiveQueue::Take(unsigned char* out, std::size_t count) {
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

void FtdiReceiveQueue::Clear() {
    head = 0;
    used = 0;
}
