// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardsim/UsbOutput.h"

#include <algorithm>

void UsbOutput::Schedule(Clock::time_point due, std::string_view bytes) {
    if (!scheduled.empty()) {
        due = std::max(due, scheduled.back().due);
    }
    scheduled.push_back({due, std::string(bytes)});
}

void UsbOutput::Produce(Clock::time_point t, std::string_view bytes) {
    Advance(t);
    if (chip.empty()) {
        chipSince = t;
    }
    chip += bytes;
    if (chip.size() < kPacketSize) {
        return;
    }
    const std::size_t whole = chip.size() - chip.size() % kPacketSize;
    readable.insert(readable.end(), chip.begin(), chip.begin() + static_cast<long>(whole));
    chip.erase(0, whole);
    chipSince = t;
}

void UsbOutput::Advance(Clock::time_point now) {
    for (auto next = NextRelease(); next && *next <= now; next = NextRelease()) {
        FlushChip();
        if (!scheduled.empty() && scheduled.front().due == *next) {
            const auto& bytes = scheduled.front().bytes;
            readable.insert(readable.end(), bytes.begin(), bytes.end());
            scheduled.pop_front();
        }
    }
}

std::size_t UsbOutput::Read(char* dst, std::size_t count) {
    const std::size_t n = std::min(count, readable.size());
    std::copy_n(readable.begin(), n, dst);
    readable.erase(readable.begin(), readable.begin() + static_cast<long>(n));
    return n;
}

void UsbOutput::Purge() {
    chip.clear();
    readable.clear();
}

std::optional<UsbOutput::Clock::time_point> UsbOutput::NextRelease() const {
    std::optional<Clock::time_point> next;
    if (!scheduled.empty()) {
        next = scheduled.front().due;
    }
    if (!chip.empty() && (!next || chipSince + kLatency < *next)) {
        next = chipSince + kLatency;
    }
    return next;
}

void UsbOutput::FlushChip() {
    readable.insert(readable.end(), chip.begin(), chip.end());
    chip.clear();
}
