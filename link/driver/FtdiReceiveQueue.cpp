// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/driver/FtdiReceiveQueue.h"

#include <algorithm>

namespace {
constexpr std::size_t kStatusBytes = 2;
}  // namespace

FtdiReceiveQueue::FtdiReceiveQueue(std::size_t capacity, std::size_t maxPacketSize)
    : data(capacity), packetSize(std::max(maxPacketSize, kStatusBytes + 1)) {}

bool FtdiReceiveQueue::CanTake(std::size_t transferBytes) const {
    return transferBytes <= data.Room();
}

std::size_t FtdiReceiveQueue::AppendTransfer(const unsigned char* transfer, std::size_t size) {
    std::size_t queued = 0;
    for (std::size_t offset = 0; offset < size; offset += packetSize) {
        const std::size_t piece = std::min(packetSize, size - offset);
        if (piece > kStatusBytes) {
            queued += data.Push(transfer + offset + kStatusBytes, piece - kStatusBytes);
        }
    }
    return queued;
}

std::size_t FtdiReceiveQueue::Take(unsigned char* out, std::size_t count) {
    return data.Take(out, count);
}

void FtdiReceiveQueue::Clear() {
    data.Clear();
}
