// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardsim/BoardSimulator.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/SampleRates.h"

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr std::size_t kStartCommandLength = 7;  // "A", channel digit, five count digits
constexpr int kRateCharX = 16;
constexpr std::size_t kRecordBytes1CH = 7;   // six digits and a carriage return
constexpr std::size_t kRecordBytes2CH = 13;  // twelve digits and a carriage return

int RateIndexOf(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return c == 'X' ? kRateCharX : -1;
}

int UpperHexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
}

char HexDigit(unsigned v) {
    return static_cast<char>(v < 10 ? '0' + v : 'A' + (v - 10));
}

void AppendCode(std::string& text, std::int32_t code) {
    for (int shift = 20; shift >= 0; shift -= 4) {
        text += HexDigit((static_cast<unsigned>(code) >> shift) & 0xFu);
    }
}

}  // namespace

BoardSimulator::BoardSimulator(BoardOptions boardOptions, NowFunction nowFunction)
    : options(std::move(boardOptions)),
      now(std::move(nowFunction)),
      source(options.seed, options.ch0Microvolts, options.ch1Microvolts, options.sine) {}

void BoardSimulator::Write(const char* data, std::size_t count) {
    Advance();
    if (fVanished) {
        return;
    }
    const auto t = now();
    for (std::size_t i = 0; i < count; ++i) {
        if (data[i] != kCR) {
            // One character beyond the limit is enough to know the line is too long.
            if (line.size() <= kMaxCommandLength) {
                line += data[i];
            }
            continue;
        }
        const std::string command = std::exchange(line, {});
        if (onCommand) {
            onCommand(command);
        }
        if (command.size() > kMaxCommandLength) {
            Reply("NG", t);
        } else {
            Execute(command, t);
        }
    }
}

std::size_t BoardSimulator::Available() {
    Advance();
    return output.Available();
}

std::size_t BoardSimulator::Read(char* dst, std::size_t count) {
    Advance();
    return output.Read(dst, count);
}

void BoardSimulator::PurgeOutput() {
    Advance();
    output.Purge();
}

bool BoardSimulator::Vanished() {
    Advance();
    return fVanished;
}

std::optional<BoardSimulator::Clock::time_point> BoardSimulator::NextEventTime() const {
    if (fVanished) {
        return std::nullopt;
    }
    auto next = output.NextRelease();
    if (stream.fActive) {
        const auto due = DueTime(stream.produced);
        next = next ? std::min(*next, due) : due;
    }
    return next;
}

std::optional<BoardSimulator::Clock::time_point> BoardSimulator::NextArrivalTime() const {
    if (fVanished) {
        return std::nullopt;
    }
    auto next = output.NextRelease();
    if (const auto streamed = StreamArrivalTime()) {
        next = next ? std::min(*next, *streamed) : streamed;
    }
    return next;
}

// The stream's next records reach the PC when they fill the chip's packet, or, when they
// start a partial packet, once its latency time has run out. A partial packet the chip
// already holds leaves by its own release time.
std::optional<BoardSimulator::Clock::time_point> BoardSimulator::StreamArrivalTime() const {
    if (!stream.fActive) {
        return std::nullopt;
    }
    std::optional<Clock::time_point> arrival;
    if (output.HeldInChip() == 0) {
        arrival = DueTime(stream.produced) + UsbOutput::kLatency;
    }
    const std::size_t recordBytes = stream.channelSel == 2 ? kRecordBytes2CH : kRecordBytes1CH;
    const std::size_t room = UsbOutput::kPacketSize - output.HeldInChip();
    const int filling =
        stream.produced + static_cast<int>((room + recordBytes - 1) / recordBytes) - 1;
    if (filling < stream.total) {
        arrival = arrival ? std::min(*arrival, DueTime(filling)) : DueTime(filling);
    }
    return arrival;
}

void BoardSimulator::Advance() {
    if (fVanished) {
        return;
    }
    const auto t = now();
    while (stream.fActive && DueTime(stream.produced) <= t) {
        ProduceRecord(DueTime(stream.produced));
        if (fVanished) {
            return;
        }
    }
    output.Advance(t);
}

void BoardSimulator::Execute(std::string_view command, Clock::time_point t) {
    if (options.fSilent) {
        return;
    }
    if (command == options.ngCommand) {
        Reply("NG", t);
    } else if (command == "AX") {
        stream.fActive = false;
    } else if (command.starts_with('A')) {
        if (!Start(command, t)) {
            Reply("NG", t);
        }
    } else {
        Reply(Answer(command), t);
    }
}

std::string BoardSimulator::Answer(std::string_view command) {
    if (command == "?") {
        return "OK";
    }
    if (command == "S3" || command == "S5") {
        fSinc5 = command == "S5";
        return "OK";
    }
    if (command.size() == 2 && command[0] == 'F' && RateIndexOf(command[1]) >= 0) {
        rateIndex = RateIndexOf(command[1]);
        return "OK";
    }
    if (command == "U?") {
        return options.name;
    }
    if (command == "V?") {
        return options.version;
    }
    return "NG";
}

bool BoardSimulator::Start(std::string_view command, Clock::time_point t) {
    if (command.size() != kStartCommandLength || command[1] < '0' || command[1] > '2') {
        return false;
    }
    int count = 0;
    for (const char c : command.substr(2)) {
        const int v = UpperHexValue(c);
        if (v < 0) {
            return false;
        }
        count = count * 16 + v;
    }
    stream = {count > 0, command[1] - '0', count, 0, rateIndex, fSinc5, t};
    return true;
}

void BoardSimulator::Reply(std::string_view text, Clock::time_point t) {
    const std::string bytes = std::string(text) + kCR;
    const auto due = t + std::chrono::milliseconds(options.replyDelayMs);
    if (options.replyBurstSize <= 0) {
        output.Schedule(due, bytes);
        return;
    }
    const auto burst = static_cast<std::size_t>(options.replyBurstSize);
    for (std::size_t first = 0; first < bytes.size(); first += burst) {
        output.Schedule(due + kBurstGap * static_cast<int>(first / burst),
                        std::string_view(bytes).substr(first, burst));
    }
}

BoardSimulator::Clock::time_point BoardSimulator::DueTime(int record) const {
    const double seconds =
        (record + 1) / SampleRates::SamplesPerSecond(stream.rateIndex, stream.fSinc5);
    return stream.start + std::chrono::nanoseconds(std::llround(seconds * 1e9));
}

void BoardSimulator::ProduceRecord(Clock::time_point t) {
    const int k = stream.produced;
    if (k == options.vanishAfter) {
        fVanished = true;
        return;
    }
    if (k == options.stopAfter) {
        stream.fActive = false;
        return;
    }
    const auto codes = source.NextCodes(stream.rateIndex, stream.fSinc5);
    std::string record;
    if (stream.channelSel != 1) {
        AppendCode(record, codes[0]);
    }
    if (stream.channelSel != 0) {
        AppendCode(record, codes[1]);
    }
    if (k == options.shortRecordAt) {
        record.pop_back();
    }
    record += k == options.lineFeedAt ? kLF : kCR;
    output.Produce(t, record);
    stream.produced = k + 1;
    stream.fActive = stream.produced < stream.total;
}
