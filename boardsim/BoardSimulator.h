// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "boardsim/BoardOptions.h"
#include "boardsim/SampleSource.h"
#include "boardsim/UsbOutput.h"

// The board's controller as a model: it takes the bytes the PC writes, answers the command
// lines and streams the sample records of a run, paced at the selected output data rate
// against an injectable clock, with the faults that `BoardOptions` switches on.
// Every line ends with a carriage return, the board's answers too:
//   "?", "S3", "S5"           "OK" (S3/S5 choose the filter)
//   "F0".."F9", "FA".."FF",   "OK"; the rate index 0..16 (before any "F" the board runs at
//   "FX"                      31250 per second)
//   "U?", "V?"                the name, the version ("1.10")
//   "A" + channel 0/1/2 +     exactly that many records, each six (one channel) or twelve
//   five hex count digits     (both) upper-case hexadecimal digits; 0 starts nothing; a new
//                             start command restarts the stream
//   "AX"                      nothing; the stream stops at once
//   anything else, or longer  "NG"
//   than 19 characters
// The rate and filter in force when a run starts pace it (the rates of SampleRates.h).
class BoardSimulator {
public:
    using Clock = std::chrono::steady_clock;
    using NowFunction = std::function<Clock::time_point()>;
    using CommandObserver = std::function<void(std::string_view command)>;
    static constexpr std::size_t kMaxCommandLength = 19;
    static constexpr std::chrono::milliseconds kBurstGap{5};
    static constexpr int kPowerOnRateIndex = 16;

    explicit BoardSimulator(BoardOptions options, NowFunction now = Clock::now);

    // Bytes from the PC; every carriage return ends a command line.
    void Write(const char* data, std::size_t count);
    // Bytes the PC can read now.
    std::size_t Available();
    std::size_t Read(char* dst, std::size_t count);
    // The PC purged its receive side: what the chip and the driver held is gone. The stream,
    // if one runs, goes on.
    void PurgeOutput();
    // True once the device has disappeared; it never comes back.
    bool Vanished();
    // When the next record or reply is due, if any is.
    std::optional<Clock::time_point> NextEventTime() const;
    // When the PC can next read more than it can now: a reply, the chip's partial packet
    // after its latency time, or the packet that the coming records fill; unset when nothing
    // is on its way. A record handed to the chip is not readable yet, so a reader that sleeps
    // until this time wakes once per arrival, not once per conversion.
    std::optional<Clock::time_point> NextArrivalTime() const;
    const BoardOptions& Options() const { return options; }
    // `observer` sees every command line the board receives, without its carriage return.
    void ObserveCommands(CommandObserver observer) { onCommand = std::move(observer); }

private:
    struct Stream {
        bool fActive = false;
        int channelSel = 0;
        int total = 0;
        int produced = 0;
        int rateIndex = kPowerOnRateIndex;
        bool fSinc5 = true;
        Clock::time_point start{};
    };

    void Advance();
    void Execute(std::string_view command, Clock::time_point t);
    std::string Answer(std::string_view command);
    bool Start(std::string_view command, Clock::time_point t);
    void Reply(std::string_view text, Clock::time_point t);
    Clock::time_point DueTime(int record) const;
    std::optional<Clock::time_point> StreamArrivalTime() const;
    void ProduceRecord(Clock::time_point t);

    BoardOptions options;
    NowFunction now;
    CommandObserver onCommand;
    SampleSource source;
    UsbOutput output;
    std::string line;
    int rateIndex = kPowerOnRateIndex;
    bool fSinc5 = true;
    Stream stream;
    bool fVanished = false;
};
