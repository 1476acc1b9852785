// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

// The board-to-PC half of the USB FIFO chip: stream bytes leave in full 64-byte packets,
// and a partial packet once the chip's latency timer has run out, so a reader meets records
// cut anywhere. Replies are sent at once; they push out whatever the chip holds before them.
class UsbOutput {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kPacketSize = 64;
    static constexpr std::chrono::milliseconds kLatency{16};

    // A reply that reaches the PC at `due`, never before a reply scheduled earlier.
    void Schedule(Clock::time_point due, std::string_view bytes);
    // Stream bytes handed to the chip at `t`; calls come in time order.
    void Produce(Clock::time_point t, std::string_view bytes);
    // Sends what is due by `now`.
    void Advance(Clock::time_point now);

    std::size_t Available() const { return readable.size(); }
    // Stream bytes in the chip's partial packet, not yet sent.
    std::size_t HeldInChip() const { return chip.size(); }
    std::size_t Read(char* dst, std::size_t count);
    // Drops what the chip and the PC's queue hold; replies not yet sent stay scheduled.
    void Purge();
    // When the next scheduled reply or partial packet leaves, if any is waiting.
    std::optional<Clock::time_point> NextRelease() const;

private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };

    void FlushChip();

    std::deque<Chunk> scheduled;
    std::string chip;
    Clock::time_point chipSince{};
    std::deque<char> readable;
};
