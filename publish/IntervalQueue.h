// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "publish/IntervalFigures.h"

// The stats messages the broker has not confirmed yet, oldest first, in a ring of fixed size
// taken once, so memory stays the same however long the broker is away. A full ring drops its
// oldest message to take a new one. Messages go to the client in order, a few at a time; the
// broker's confirmations take them out, and a lost connection sends every unconfirmed one again.
class IntervalQueue {
public:
    // A message waiting to be handed to the client, named by its place in the whole sequence.
    struct Waiting {
        std::uint64_t number;
        IntervalFigures figures;
    };

    explicit IntervalQueue(std::size_t capacity);

    // True when the oldest message was dropped to make room.
    bool Push(const IntervalFigures& figures);
    // The oldest message not yet handed to the client, while fewer than `window` handed ones
    // wait for the broker's confirmation.
    std::optional<Waiting> NextToSend(std::size_t window) const;
    // Message `number` went to the client with message id `mid`.
    void Handed(std::uint64_t number, int mid);
    // The broker confirmed message id `mid`.
    void Confirmed(int mid);
    // The connection is gone: every unconfirmed message goes again.
    void Unhand();

    std::size_t Size() const { return size; }
    std::size_t Capacity() const { return ring.size(); }
    std::uint64_t Dropped() const { return dropped; }

private:
    struct Entry {
        IntervalFigures figures;
        int mid = 0;  // 0: not handed to the client
        bool fConfirmed = false;
    };

    Entry& At(std::size_t index) { return ring[(head + index) % ring.size()]; }
    const Entry& At(std::size_t index) const { return ring[(head + index) % ring.size()]; }
    void PopFront();

    std::vector<Entry> ring;
    std::size_t head = 0;
    std::size_t size = 0;
    std::size_t handed = 0;         // the oldest `handed` entries went to the client
    std::uint64_t firstNumber = 0;  // number of the oldest entry
    std::uint64_t dropped = 0;
};
