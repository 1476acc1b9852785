// SPDX-License-Identifier: GPL-3.0-or-later
// The two reply readers of the link (the acknowledgement wait of Ping and the reply line
// of ReadBoardName) over arbitrary replies in arbitrary bursts: no write outside the reply
// areas, a bounded wait, and an accepted reply is what the board sent.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/FuzzBursts.h"
#include "link/Ad7172.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/ScriptedFifo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool fName = input.ConsumeBool();
    const int failingRead = input.ConsumeIntegralInRange<int>(0, 15);
    const auto bursts = ConsumeBursts(input);

    std::string reply;
    for (const auto& burst : bursts) {
        reply += burst;
    }
    ScriptedFifo fifo;
    fifo.OnCommand(fName ? "U?" : "?", bursts);
    if (failingRead > 0) {
        fifo.FailCall(ScriptedFifo::Call::Read, failingRead);
    }
    FakeClock clock;
    TADC adc(fifo, clock.Timing());
    Require(adc.OpenBoard());

    if (fName) {
        char name[TADC::kMaxReplyText + 1 + 8];
        std::memset(name, 'Z', sizeof name);
        if (adc.ReadBoardName(name)) {
            const std::size_t length = strnlen(name, sizeof name);
            Require(length <= TADC::kMaxReplyText);
            Require(reply.compare(0, length, name, length) == 0);
            Require(reply.size() > length);
        }
    } else if (adc.Ping()) {
        Require(reply.starts_with("OK\r"));
    }
    // Every wait ends by its 100 ms time-out at the latest (one clock step per wait).
    Require(clock.Elapsed() <= std::chrono::milliseconds(TADC::kCommandTimeoutMs + 2));
    return 0;
}
