// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

#include "link/driver/ByteRing.h"

// Bytes received from an FTDI chip, waiting to be read. The chip starts every USB packet of
// a bulk transfer with two modem-status bytes; they are dropped here so that only the data
// the board sent is queued. The queue is bounded: the reader asks CanTake before each
// transfer and leaves the data in the chip while there is no room. Not thread-safe; the
// owner guards it.
class FtdiReceiveQueue {
public:
    // `maxPacketSize` is the IN endpoint's maximum packet size (64 at full speed, 512 at high
    // speed).
    FtdiReceiveQueue(std::size_t capacity, std::size_t maxPacketSize);

    // True when a transfer of `transferBytes` raw bytes fits whatever it carries.
    bool CanTake(std::size_t transferBytes) const;
    // Queues the data of one transfer; every packetSize piece (the last may be
    // shorter) begins with two status bytes. Returns the number of data bytes queued: data beyond
    // the capacity is dropped, so callers ask CanTake first.
    std::size_t AppendTransfer(const unsigned char* data, std::size_t size);
    // Moves up to `count` bytes, oldest first, to `out`; returns how many.
    std::size_t Take(unsigned char* out, std::size_t count);
    void Clear();

    std::size_t Size() const { return data.Size(); }

private:
    ByteRing data;
    std::size_t packetSize;
};
