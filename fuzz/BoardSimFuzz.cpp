// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated board's command parser fed arbitrary bytes in arbitrary pieces, with the
// fault switches set by the input, while its clock runs: it never reads or writes outside
// its buffers, and what it says is readable is what a read delivers.

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "boardsim/BoardSimulator.h"
#include "fuzz/FuzzBursts.h"

namespace {

// Enough board time for a few thousand records at the top rate, and no more, so that a
// start command asking for a million records cannot stall the fuzzer.
constexpr std::chrono::milliseconds kMaxBoardTime{200};

BoardOptions ConsumeOptions(FuzzedDataProvider& input) {
    BoardOptions options;
    options.seed = input.ConsumeIntegral<std::uint8_t>();
    options.fSilent = input.ConsumeIntegralInRange<int>(0, 15) == 0;
    options.replyBurstSize = input.ConsumeIntegralInRange<int>(0, 4);
    options.replyDelayMs = input.ConsumeIntegralInRange<int>(0, 3);
    options.lineFeedAt = input.ConsumeIntegralInRange<int>(-1, 20);
    options.shortRecordAt = input.ConsumeIntegralInRange<int>(-1, 20);
    options.stopAfter = input.ConsumeIntegralInRange<int>(-1, 50);
    options.vanishAfter = input.ConsumeIntegralInRange<int>(-1, 50);
    if (input.ConsumeBool()) {
        options.ngCommand = "S5";
    }
    return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    BoardSimulator::Clock::time_point now{std::chrono::hours(1)};
    const auto start = now;
    BoardSimulator board(ConsumeOptions(input), [&now] { return now; });
    std::vector<char> received;
    while (input.remaining_bytes() > 0) {
        const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 64);
        const auto step = std::chrono::milliseconds(input.ConsumeIntegralInRange<int>(0, 20));
        const bool fPurge = input.ConsumeIntegralInRange<int>(0, 7) == 0;
        const std::string bytes = input.ConsumeBytesAsString(length);
        board.Write(bytes.data(), bytes.size());
        now = std::min(now + step, start + kMaxBoardTime);
        if (fPurge) {
            board.PurgeOutput();
        }
        const std::size_t available = board.Available();
        received.resize(available + 1);
        Require(board.Read(received.data(), received.size()) == available);
        Require(board.Available() == 0);
    }
    return 0;
}
