// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/IntervalQueue.h"

#include <algorithm>

IntervalQueue::IntervalQueue(std::size_t capacity) : ring(std::max<std::size_t>(capacity, 1)) {}

bool IntervalQueue::Push(const IntervalFigures& figures) {
    const bool fFull = size == ring.size();
    if (fFull) {
        PopFront();
        ++dropped;
    }
    At(size++) = Entry{figures, 0, false};
    return fFull;
}

std::optional<IntervalQueue::Waiting> IntervalQueue::NextToSend(std::size_t window) const {
    if (handed >= size || handed >= window) {
        return std::nullopt;
    }
    return Waiting{firstNumber + handed, At(handed).figures};
}

void IntervalQueue::Handed(std::uint64_t number, int mid) {
    // A message dropped meanwhile is no longer there.
    if (number == firstNumber + handed && handed < size) {
        At(handed++).mid = mid;
    }
}

void IntervalQueue::Confirmed(int mid) {
    for (std::size_t i = 0; i < handed; ++i) {
        if (At(i).mid == mid) {
            At(i).fConfirmed = true;
            break;
        }
    }
    while (size > 0 && At(0).fConfirmed) {
        PopFront();
    }
}

void IntervalQueue::Unhand() {
    for (std::size_t i = 0; i < handed; ++i) {
        At(i).mid = 0;
        At(i).fConfirmed = false;
    }
    handed = 0;
}

void IntervalQueue::PopFront() {
    head = (head + 1) % ring.size();
    --size;
    ++firstNumber;
    handed = handed > 0 ? handed - 1 : 0;
}
