// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "link/Ad7172.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/ScriptedFifo.h"

using Call = ScriptedFifo::Call;
using namespace std::chrono_literals;

namespace {

class Ad7172Test : public ::testing::Test {
protected:
    void OpenBoard() {
        ASSERT_TRUE(adc.OpenBoard());
        fifo.calls.clear();
    }
    ScriptedFifo fifo;
    FakeClock clock;
    TADC adc{fifo, clock.Timing()};
};

TEST(Ad7172Codes, HexToCode) {
    const std::vector<std::pair<std::string, std::int32_t>> cases = {
        {"7FFFFF", 8388607}, {"800000", 8388608}, {"ffffff", 16777215}, {"FFFFFF", 16777215},
        {"000000", 0},       {"12G456", 1180758}, {"aBcDeF", 0xABCDEF}, {"\r\n 9 -", 0x000900},
    };
    for (const auto& [text, code] : cases) {
        EXPECT_EQ(HexToCode(text.c_str()), code) << text;
    }
}

TEST(Ad7172Codes, CountField) {
    const std::vector<std::pair<std::int32_t, std::string>> cases = {
        {1000, "003E8"},    {10000, "02710"},    {100, "00064"},     {0, "00000"},
        {0xFFFFF, "FFFFF"}, {0x100000, "00000"}, {2000000, "00000"}, {0xABCDE, "ABCDE"},
    };
    for (const auto& [count, field] : cases) {
        char dst[5];
        CountToHex5(count, dst);
        EXPECT_EQ(std::string(dst, 5), field) << count;
    }
}

TEST_F(Ad7172Test, OpenBoardPurgesTwice) {
    ASSERT_TRUE(adc.OpenBoard());
    EXPECT_EQ(fifo.CallKinds(),
              (std::vector<Call>{Call::Open, Call::SetUSBParameters, Call::Purge, Call::Purge}));
}

TEST_F(Ad7172Test, CommandsOnTheWire) {
    struct Case {
        const char* name;
        std::function<bool(TADC&)> op;
        std::string wire;  // empty: nothing may be written
        int purges;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"ping", [](TADC& a) { return a.Ping(); }, "?\r", 1, true},
        {"sinc3", [](TADC& a) { return a.SelectSinc3(); }, "S3\r", 1, true},
        {"sinc5", [](TADC& a) { return a.SelectSinc5(); }, "S5\r", 1, true},
        {"rate 0", [](TADC& a) { return a.SetDataRate(0); }, "F0\r", 0, true},
        {"rate 9", [](TADC& a) { return a.SetDataRate(9); }, "F9\r", 0, true},
        {"rate 10", [](TADC& a) { return a.SetDataRate(10); }, "FA\r", 0, true},
        {"rate 15", [](TADC& a) { return a.SetDataRate(15); }, "FF\r", 0, true},
        {"rate 16", [](TADC& a) { return a.SetDataRate(16); }, "FX\r", 0, true},
        {"rate 17", [](TADC& a) { return a.SetDataRate(17); }, "", 0, false},
        {"rate -1", [](TADC& a) { return a.SetDataRate(-1); }, "", 0, false},
        {"start CH0 1000", [](TADC& a) { return a.StartConversion(0, 1000); }, "A0003E8\r", 1,
         true},
        {"start both 10000", [](TADC& a) { return a.StartConversion(2, 10000); }, "A202710\r", 1,
         true},
        {"start CH1 100", [](TADC& a) { return a.StartConversion(1, 100); }, "A100064\r", 1, true},
        {"start too many", [](TADC& a) { return a.StartConversion(0, 1048576); }, "A000000\r", 1,
         true},
        {"start channel 3", [](TADC& a) { return a.StartConversion(3, 100); }, "", 0, false},
        {"start channel -1", [](TADC& a) { return a.StartConversion(-1, 100); }, "", 0, false},
        {"stop", [](TADC& a) { return a.StopConversion(); }, "AX\r", 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFifo board;
        FakeClock fake;
        TADC fresh(board, fake.Timing());
        ASSERT_TRUE(fresh.OpenBoard());
        board.calls.clear();
        for (const char* cmd : {"?", "S3", "S5", "F0", "F9", "FA", "FF", "FX"}) {
            board.OnCommand(cmd, {"OK\r"});
        }
        EXPECT_EQ(c.op(fresh), c.ok);
        EXPECT_EQ(board.written, c.wire);
        int purges = 0;
        for (const auto& r : board.calls) {
            if (r.call == Call::Write) {
                break;
            }
            purges += r.call == Call::Purge ? 1 : 0;
        }
        EXPECT_EQ(purges, c.wire.empty() ? 0 : c.purges);
    }
}

TEST_F(Ad7172Test, AcknowledgementEndingsThroughTheBoardCommands) {
    struct Case {
        std::vector<std::string> bursts;
        bool ok;
    };
    const std::vector<Case> cases = {
        {{"OK\r"}, true},      {{"O", "K\r"}, true}, {{"OK\n"}, false},
        {{"OK", "\r"}, false}, {{"NG\r"}, false},    {{}, false},
    };
    for (const auto& c : cases) {
        ScriptedFifo board;
        FakeClock fake;
        TADC fresh(board, fake.Timing());
        ASSERT_TRUE(fresh.OpenBoard());
        board.OnCommand("?", c.bursts);
        EXPECT_EQ(fresh.Ping(), c.ok);
        // Every board command waits 100 ms, not the transport's 500.
        EXPECT_LT(fake.Elapsed(), 102ms);
    }
}

TEST_F(Ad7172Test, NameAndVersionReplies) {
    struct Case {
        std::vector<std::string> bursts;
        bool ok;
        std::string text;
    };
    const std::vector<Case> cases = {
        {{"SELKORAN\r"}, true, "SELKORAN"},
        {{"SEL", "KORAN\r"}, true, "SELKORAN"},
        {{"1.10\r"}, true, "1.10"},
        {{"NG\r"}, false, ""},
        {{"Nothing\r"}, false, ""},
        {{"XGood\r"}, false, ""},
        {{"ABCDEFGHIJKL\r"}, true, "ABCDEFGHIJ"},
        {{"SELKORAN"}, false, ""},
        {{}, false, ""},
    };
    for (const auto& c : cases) {
        ScriptedFifo board;
        FakeClock fake;
        TADC fresh(board, fake.Timing());
        ASSERT_TRUE(fresh.OpenBoard());
        board.OnCommand("U?", c.bursts);
        board.OnCommand("V?", c.bursts);
        for (bool name : {true, false}) {
            char dst[11] = "untouched";
            const bool ok = name ? fresh.ReadBoardName(dst) : fresh.ReadBoardVersion(dst);
            EXPECT_EQ(ok, c.ok) << c.text;
            if (ok) {
                EXPECT_EQ(std::string(dst), c.text);
            }
        }
        EXPECT_EQ(board.written, "U?\rV?\r");
    }
}

TEST_F(Ad7172Test, StaleBytesArePurgedBeforeAQuery) {
    OpenBoard();
    fifo.Queue("junk\r");
    fifo.OnCommand("U?", {"SELKORAN\r"});
    char dst[11];
    ASSERT_TRUE(adc.ReadBoardName(dst));
    EXPECT_STREQ(dst, "SELKORAN");
}

TEST_F(Ad7172Test, OneChannelBlockNeedsEveryByte) {
    OpenBoard();
    std::string block;
    for (int i = 0; i < 100; ++i) {
        char record[8];
        std::snprintf(record, sizeof record, "%06X\r", 0x800000 + i);
        block += record;
    }
    std::array<std::int32_t, 100> dst{};
    int got = -1;
    fifo.Queue(block.substr(0, 699));
    ASSERT_TRUE(adc.ReadSamples1CH(dst.data(), &got, 100));
    EXPECT_EQ(got, 0);
    EXPECT_EQ(fifo.Readable(), 699u);

    fifo.Queue(block.substr(699));
    ASSERT_TRUE(adc.ReadSamples1CH(dst.data(), &got, 100));
    ASSERT_EQ(got, 100);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(dst[i], 0x800000 + i);
    }
}

TEST_F(Ad7172Test, RecordsAcrossBurstsAndPolls) {
    OpenBoard();
    // Two-channel records cut at every awkward place, read two at a time.
    const std::string stream = "000001FFFFFE\r7FFFFF800000\rabcdef012345\r00000A00000B\r";
    for (std::size_t i = 0; i < stream.size(); i += 5) {
        fifo.QueueBursts({stream.substr(i, 5)});
    }
    std::vector<std::int32_t> ch0, ch1;
    std::int32_t a[2], b[2];
    for (int poll = 0; poll < 100 && ch0.size() < 4; ++poll) {
        int got = 0;
        ASSERT_TRUE(adc.ReadSamples2CH(a, b, 2, &got));
        ch0.insert(ch0.end(), a, a + got);
        ch1.insert(ch1.end(), b, b + got);
    }
    EXPECT_EQ(ch0, (std::vector<std::int32_t>{1, 8388607, 0xABCDEF, 10}));
    EXPECT_EQ(ch1, (std::vector<std::int32_t>{16777214, 8388608, 0x012345, 11}));
}

TEST_F(Ad7172Test, MalformedRecordStopsTheBlockWhereItIs) {
    struct Case {
        bool twoChannels;
        std::string block;
        int got;
    };
    const std::vector<Case> cases = {
        {false, "000001\r000002\r000003\n000004\r", 2},
        {false, "000001\n000002\r000003\r000004\r", 0},
        {true, "000001000002\r000003000004\r000005000006 ", 2},
    };
    for (const auto& c : cases) {
        ScriptedFifo board;
        FakeClock fake;
        TADC fresh(board, fake.Timing());
        ASSERT_TRUE(fresh.OpenBoard());
        board.Queue(c.block);
        std::array<std::int32_t, 4> d0{}, d1{};
        int got = -1;
        const int records = c.twoChannels ? 3 : 4;
        const bool ok = c.twoChannels ? fresh.ReadSamples2CH(d0.data(), d1.data(), records, &got)
                                      : fresh.ReadSamples1CH(d0.data(), &got, records);
        EXPECT_FALSE(ok);
        EXPECT_EQ(got, c.got);
        for (int i = 0; i < c.got; ++i) {
            EXPECT_EQ(d0[i], c.twoChannels ? 2 * i + 1 : i + 1);
        }
    }
}

TEST_F(Ad7172Test, BlockReadFailures) {
    OpenBoard();
    std::array<std::int32_t, 101> dst{};
    int got = -1;
    fifo.Queue(std::string(7 * 101, '0'));
    EXPECT_FALSE(adc.ReadSamples1CH(dst.data(), &got, 101));  // larger than the receive area
    EXPECT_EQ(got, 0);
    EXPECT_FALSE(adc.ReadSamples1CH(dst.data(), &got, 0));

    fifo.FailCall(Call::Read, 1);
    got = -1;
    EXPECT_FALSE(adc.ReadSamples1CH(dst.data(), &got, 1));
    EXPECT_EQ(got, 0);
}

TEST_F(Ad7172Test, ClosedBoardRefusesEverything) {
    char dst[11];
    std::int32_t codes[4];
    int got = 42;
    EXPECT_FALSE(adc.Ping());
    EXPECT_FALSE(adc.ReadBoardName(dst));
    EXPECT_FALSE(adc.ReadBoardVersion(dst));
    EXPECT_FALSE(adc.SelectSinc3());
    EXPECT_FALSE(adc.SelectSinc5());
    EXPECT_FALSE(adc.SetDataRate(3));
    EXPECT_FALSE(adc.StartConversion(0, 100));
    EXPECT_FALSE(adc.StopConversion());
    EXPECT_FALSE(adc.ReadSamples1CH(codes, &got, 1));
    EXPECT_FALSE(adc.ReadSamples2CH(codes, codes + 2, 1, &got));
    EXPECT_EQ(got, 42);
    adc.CloseBoard();
    EXPECT_EQ(adc.GetGainFactor(), 1);
    EXPECT_TRUE(fifo.calls.empty());
}

TEST_F(Ad7172Test, CloseBoardPurgesAndCloses) {
    OpenBoard();
    adc.CloseBoard();
    EXPECT_EQ(fifo.CallKinds(), (std::vector<Call>{Call::Purge, Call::Purge, Call::Close}));
    EXPECT_FALSE(adc.IsOpen());
}

TEST_F(Ad7172Test, FailedPurgeBeforeACommandClosesTheBoard) {
    OpenBoard();
    fifo.FailCall(Call::Purge);
    EXPECT_FALSE(adc.Ping());
    EXPECT_FALSE(adc.IsOpen());
    EXPECT_TRUE(fifo.written.empty());
    EXPECT_FALSE(adc.SelectSinc5());
}

}  // namespace
