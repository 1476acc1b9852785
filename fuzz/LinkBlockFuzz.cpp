// SPDX-License-Identifier: GPL-3.0-or-later
// The block reads of the link over an arbitrary byte stream in arbitrary bursts: every
// block it accepts holds exactly the codes of the stream's next records, and nothing is
// written outside the channel arrays.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "common/ChannelSeries.h"
#include "fuzz/FuzzBursts.h"
#include "link/Ad7172.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/ScriptedFifo.h"

namespace {

std::int32_t ExpectedCode(const std::string& stream, std::size_t at) {
    std::int32_t code = 0;
    for (std::size_t k = 0; k < 6; ++k) {
        code = code * 16 + static_cast<std::int32_t>(HexDigitValue(stream[at + k]));
    }
    return code;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool fTwoChannels = input.ConsumeBool();
    const int count = input.ConsumeIntegralInRange<int>(0, TADC::kMaxBlockRecords + 1);
    const unsigned shortfall = input.ConsumeIntegralInRange<unsigned>(0, 3);
    const int failingRead = input.ConsumeIntegralInRange<int>(0, 15);
    const auto bursts = ConsumeBursts(input);

    std::string stream;
    for (const auto& burst : bursts) {
        stream += burst;
    }
    ScriptedFifo fifo;
    fifo.ShortenReads(shortfall);
    if (failingRead > 0) {
        fifo.FailCall(ScriptedFifo::Call::Read, failingRead);
    }
    FakeClock clock;
    TADC adc(fifo, clock.Timing());
    Require(adc.OpenBoard());
    fifo.QueueBursts(bursts);

    static ChannelBuffer ch0;
    static ChannelBuffer ch1;
    const unsigned recordBytes = fTwoChannels ? TADC::kRecordBytes2CH : TADC::kRecordBytes1CH;
    int acquired = 0;
    const int polls = static_cast<int>(bursts.size()) + 2;
    for (int poll = 0; poll < polls && acquired + count <= kSeriesCapacity; ++poll) {
        int got = -1;
        const bool fOk = fTwoChannels
                             ? adc.ReadSamples2CH(ch0.Codes.data() + acquired,
                                                  ch1.Codes.data() + acquired, count, &got)
                             : adc.ReadSamples1CH(ch0.Codes.data() + acquired, &got, count);
        if (!fOk) {
            break;
        }
        Require(got == 0 || got == count);
        for (int i = acquired; i < acquired + got; ++i) {
            const std::size_t record = static_cast<std::size_t>(i) * recordBytes;
            Require(record + recordBytes <= stream.size());
            Require(stream[record + recordBytes - 1] == '\r');
            Require(ch0.Codes[i] == ExpectedCode(stream, record));
            Require(!fTwoChannels || ch1.Codes[i] == ExpectedCode(stream, record + 6));
        }
        acquired += got;
    }
    return 0;
}
