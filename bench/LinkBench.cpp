// SPDX-License-Identifier: GPL-3.0-or-later
// Record parsing and the whole acquisition path, against the board's top rate.

#include <benchmark/benchmark.h>

#include <array>
#include <string>

#include "bench/RatioReporter.h"
#include "bench/ReplayFifo.h"
#include "bench/UnpacedAcquisition.h"
#include "common/ChannelSeries.h"
#include "common/Codes.h"
#include "link/Ad7172.h"

namespace {

constexpr double kBoardTopRate = 31250.0;  // records per second
constexpr int kBlockRecords = 100;
constexpr int kRunSamples = 10000;

// Records per second of wall time; the report compares them with the board's top rate.
void CountRecords(benchmark::State& state, double records) {
    state.counters[RatioReporter::kRecordRate] =
        benchmark::Counter(records, benchmark::Counter::kIsRate);
}

// One block of records with varied digits, as the board sends them.
std::string RecordBlock(int channels) {
    static const char* const kDigits = "0123456789ABCDEF";
    std::string block;
    unsigned value = 0x7FF3A1;
    for (int i = 0; i < kBlockRecords; ++i) {
        for (int c = 0; c < channels; ++c) {
            value = value * 1103515245u + 12345u;
            for (int shift = 20; shift >= 0; shift -= 4) {
                block += kDigits[(value >> shift) & 0xF];
            }
        }
        block += '\r';
    }
    return block;
}

void BM_ReadSamples1CH(benchmark::State& state) {
    ReplayFifo fifo(RecordBlock(1));
    TADC adc(fifo);
    adc.OpenBoard();
    std::array<std::int32_t, kBlockRecords> codes{};
    int got = 0;
    for (auto _ : state) {
        if (!adc.ReadSamples1CH(codes.data(), &got, kBlockRecords) || got != kBlockRecords) {
            state.SkipWithError("block read failed");
            break;
        }
        benchmark::DoNotOptimize(codes.data());
    }
    CountRecords(state, static_cast<double>(state.iterations()) * kBlockRecords);
}
BENCHMARK(BM_ReadSamples1CH)->UseRealTime();

void BM_ReadSamples2CH(benchmark::State& state) {
    ReplayFifo fifo(RecordBlock(2));
    TADC adc(fifo);
    adc.OpenBoard();
    std::array<std::int32_t, kBlockRecords> ch0{};
    std::array<std::int32_t, kBlockRecords> ch1{};
    int got = 0;
    for (auto _ : state) {
        if (!adc.ReadSamples2CH(ch0.data(), ch1.data(), kBlockRecords, &got) ||
            got != kBlockRecords) {
            state.SkipWithError("block read failed");
            break;
        }
        benchmark::DoNotOptimize(ch0.data());
        benchmark::DoNotOptimize(ch1.data());
    }
    CountRecords(state, static_cast<double>(state.iterations()) * kBlockRecords);
}
BENCHMARK(BM_ReadSamples2CH)->UseRealTime();

// 10000 two-channel samples at the top rate: simulator, driver, transport, parsing.
void BM_AcquireUnpaced2CH(benchmark::State& state) {
    static ChannelBuffer ch0;
    static ChannelBuffer ch1;
    const RunRequest request{.settings = {.spsSel = TADC::kMaxRateIndex, .CHSel = 2},
                             .count = kRunSamples};
    for (auto _ : state) {
        UnpacedAcquisition acquisition;
        if (!acquisition.Acquire(request, ch0.Codes.data(), ch1.Codes.data())) {
            state.SkipWithError("acquisition failed");
            break;
        }
        benchmark::DoNotOptimize(ch0.Codes.data());
    }
    CountRecords(state, static_cast<double>(state.iterations()) * kRunSamples);
}
BENCHMARK(BM_AcquireUnpaced2CH)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return RatioReporter::RunAll(argc, argv, {}, kBoardTopRate);
}
