// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "link/driver/SimulatedFifo.h"
#include "measure/BoardProtocol.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/ScriptedFifo.h"

using namespace std::chrono_literals;
using Call = ScriptedFifo::Call;
using Result = BoardProtocol::IdentifyResult;

namespace {

struct Board {
    Board() {
        for (const char* cmd : {"?", "S3", "S5", "F0", "F3", "FX"}) {
            fifo.OnCommand(cmd, {"OK\r"});
        }
        fifo.OnCommand("U?", {"SELKORAN\r"});
        fifo.OnCommand("V?", {"1.10\r"});
    }
    ScriptedFifo fifo;
    FakeClock clock;
    TADC adc{fifo, clock.Timing()};
    BoardProtocol protocol{adc};
};

TEST(BoardProtocol, IdentifyOutcomes) {
    struct Case {
        const char* name;
        void (*script)(ScriptedFifo&);
        Result result;
        std::string wire;
    };
    const std::vector<Case> cases = {
        {"good board", [](ScriptedFifo&) {}, Result::Ok, "?\rU?\rV?\r"},
        {"no device", [](ScriptedFifo& f) { f.FailCall(Call::Open); }, Result::NotFound, ""},
        {"silent", [](ScriptedFifo& f) { f.OnCommand("?", {}); }, Result::NoResponse, "?\r"},
        {"name refused", [](ScriptedFifo& f) { f.OnCommand("U?", {"NG\r"}); }, Result::NoResponse,
         "?\rU?\r"},
        {"other board", [](ScriptedFifo& f) { f.OnCommand("U?", {"selkoran\r"}); },
         Result::WrongName, "?\rU?\r"},
        {"no version", [](ScriptedFifo& f) { f.OnCommand("V?", {"1.1"}); }, Result::NoResponse,
         "?\rU?\rV?\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Board b;
        c.script(b.fifo);
        std::string name = "-", version = "-";
        EXPECT_EQ(b.protocol.Identify(name, version), c.result);
        EXPECT_EQ(b.fifo.written, c.wire);
        EXPECT_EQ(b.adc.IsOpen(), c.result == Result::Ok);
        if (c.result == Result::Ok) {
            EXPECT_EQ(name, "SELKORAN");
            EXPECT_EQ(version, "1.10");
        }
    }
}

TEST(BoardProtocol, ConfigureSendsFilterRateAndStart) {
    struct Case {
        MeasureSettings settings;
        int count;
        std::string wire;
        bool ok;
    };
    const std::vector<Case> cases = {
        {{.spsSel = 3, .CHSel = 0}, 1000, "S5\rF3\rA0003E8\r", true},
        {{.spsSel = 16, .CHSel = 2, .fSinc5 = false}, 10000, "S3\rFX\rA202710\r", true},
        {{.spsSel = 0, .CHSel = 1}, 100, "S5\rF0\rA100064\r", true},
        {{.spsSel = 7, .CHSel = 0}, 100, "S5\rF7\r", false},  // the board does not acknowledge F7
    };
    for (const auto& c : cases) {
        Board b;
        ASSERT_TRUE(b.adc.OpenBoard());
        EXPECT_EQ(b.protocol.ConfigureAndStart(c.settings, c.count), c.ok);
        EXPECT_EQ(b.fifo.written, c.wire);
    }
}

TEST(BoardProtocol, BlockSizesEndEveryRunOnItsCount) {
    const std::vector<int> expected = {1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 5, 10, 20, 50, 100, 100, 100};
    for (int sps = 0; sps <= 16; ++sps) {
        EXPECT_EQ(BoardProtocol::SamplesPerPoll(sps), expected[sps]);
        for (int count : {100, 200, 500, 1000, 2000, 5000, 10000}) {
            EXPECT_EQ(count % BoardProtocol::SamplesPerPoll(sps), 0);
        }
    }
}

TEST(BoardProtocol, BlocksGoToTheChannelsArrays) {
    Board b;
    ASSERT_TRUE(b.adc.OpenBoard());
    std::array<std::int32_t, 8> ch0{}, ch1{};
    // The block lands where the spans start.
    const auto readAt = [&b, &ch0, &ch1](const MeasureSettings& settings, std::size_t first) {
        return b.protocol.ReadBlock(settings, std::span(ch0).subspan(first),
                                    std::span(ch1).subspan(first));
    };
    b.fifo.Queue("000010\r000011\r");
    BoardProtocol::BlockRead block = readAt({.spsSel = 9, .CHSel = 1}, 3);  // 2 per poll
    ASSERT_TRUE(block.fRead);
    EXPECT_EQ(block.got, 2);
    EXPECT_EQ(ch1[3], 16);
    EXPECT_EQ(ch1[4], 17);
    EXPECT_EQ(ch0[3], 0);

    b.fifo.Queue("000001000002\r");
    block = readAt({.spsSel = 0, .CHSel = 2}, 5);
    ASSERT_TRUE(block.fRead);
    EXPECT_EQ(block.got, 1);
    EXPECT_EQ(ch0[5], 1);
    EXPECT_EQ(ch1[5], 2);

    block = readAt({.spsSel = 0, .CHSel = 0}, 6);
    ASSERT_TRUE(block.fRead);
    EXPECT_EQ(block.got, 0);  // nothing there yet
}

// A slow run on the simulated board sleeps from one arrival to the next: one look per sample
// (and one after the start), every sleep a real one. Sleeps last whole milliseconds, rounded
// up, as poll() and the window's timers sleep.
TEST(BoardProtocol, SlowRunOnTheSimulatedBoardLooksOncePerSample) {
    FakeClock clock;
    SimulatedFifo fifo({}, [&clock] { return clock.Now(); });
    TADC adc(fifo, clock.Timing());
    BoardProtocol protocol(adc);
    std::string name, version;
    ASSERT_EQ(protocol.Identify(name, version), Result::Ok);
    const MeasureSettings settings{.spsSel = 0, .CHSel = 0};  // 1.25 per second
    constexpr int kCount = 20;
    ASSERT_TRUE(protocol.ConfigureAndStart(settings, kCount));
    std::array<std::int32_t, kCount> codes{};
    BlockWait pacing;
    int acquired = 0;
    int looks = 0;
    for (int got = 0; acquired < kCount && looks < 1000; acquired += got) {
        const auto rest = std::span(codes).subspan(static_cast<std::size_t>(acquired));
        const BoardProtocol::BlockRead block = protocol.ReadBlock(settings, rest, {});
        ASSERT_TRUE(block.fRead);
        got = block.got;
        ++looks;
        if (acquired + got < kCount) {
            const BlockWait::Sleep sleep = protocol.NextLook(settings, kCount, pacing);
            ASSERT_GT(sleep.duration, 0ns) << "look " << looks << ": no whole block was there";
            clock.Advance(std::chrono::ceil<std::chrono::milliseconds>(sleep.duration));
        }
    }
    EXPECT_EQ(acquired, kCount);
    EXPECT_EQ(looks, kCount + 1);
    // 20 samples at 1.25 per second take 16 s, plus the chip's 16 ms latency time.
    EXPECT_LT(clock.Elapsed(), 16s + 100ms);
}

}  // namespace
