// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Ft_fifo.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/ScriptedFifo.h"

using Call = ScriptedFifo::Call;
using namespace std::chrono_literals;

namespace {

// A fresh open link whose board answers `command` with `bursts`; waits end after 100 ms.
struct ReplyingLink {
    ReplyingLink(const std::string& command, const std::vector<std::string>& bursts) {
        board.OnCommand(command, bursts);
        fOpened = link.Open();
        link.SetTimeout(100);
    }
    ScriptedFifo board;
    FakeClock clock;
    Tft_FIFO link{board, clock.Timing()};
    bool fOpened = false;
};

class FtFifoTest : public ::testing::Test {
protected:
    void OpenLink() {
        ASSERT_TRUE(link.Open());
        fifo.calls.clear();
    }
    ScriptedFifo fifo;
    FakeClock clock;
    Tft_FIFO link{fifo, clock.Timing()};
};

TEST_F(FtFifoTest, OpenSetsTransferSizeAndPurgesOnce) {
    ASSERT_TRUE(link.Open());
    EXPECT_TRUE(link.IsOpen());
    ASSERT_EQ(fifo.calls.size(), 3u);
    EXPECT_EQ(fifo.calls[0].call, Call::Open);
    EXPECT_EQ(fifo.calls[0].argument, 0u);  // device number 0
    EXPECT_EQ(fifo.calls[1].call, Call::SetUSBParameters);
    EXPECT_EQ(fifo.calls[1].argument, 4096u);
    EXPECT_EQ(fifo.calls[2].call, Call::Purge);
    EXPECT_EQ(fifo.calls[2].argument, kPurgeRx | kPurgeTx);

    // Already open: nothing reaches the driver.
    EXPECT_TRUE(link.OpenDevice(4096));
    EXPECT_EQ(fifo.calls.size(), 3u);
}

TEST_F(FtFifoTest, FailedOpenStepsLeaveTheLinkClosed) {
    struct Case {
        Call failing;
        std::vector<Call> expected;
    };
    const std::vector<Case> cases = {
        {Call::Open, {Call::Open}},
        {Call::SetUSBParameters, {Call::Open, Call::SetUSBParameters, Call::Close}},
        {Call::Purge, {Call::Open, Call::SetUSBParameters, Call::Purge, Call::Close}},
    };
    for (const auto& c : cases) {
        ScriptedFifo failing;
        failing.FailCall(c.failing);
        Tft_FIFO fresh(failing, clock.Timing());
        EXPECT_FALSE(fresh.Open());
        EXPECT_FALSE(fresh.IsOpen());
        EXPECT_FALSE(failing.IsOpen());
        EXPECT_EQ(failing.CallKinds(), c.expected);
    }
}

TEST_F(FtFifoTest, ClosedLinkMakesNoDriverCalls) {
    char buf[16];
    unsigned got = 77;
    EXPECT_FALSE(link.SendCommand("?"));
    EXPECT_FALSE(link.SendCommandWaitOK("?"));
    EXPECT_FALSE(link.SendCommandReadLine("U?", buf, sizeof buf));
    EXPECT_FALSE(link.ReadAvailable(buf, sizeof buf, &got));
    EXPECT_FALSE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(got, 77u);
    EXPECT_FALSE(link.Purge());
    link.Close();
    { Tft_FIFO other(fifo, clock.Timing()); }
    EXPECT_TRUE(fifo.calls.empty());
}

TEST_F(FtFifoTest, CloseAndDestructorPurgeThenClose) {
    {
        Tft_FIFO other(fifo, clock.Timing());
        ASSERT_TRUE(other.Open());
        fifo.calls.clear();
    }
    EXPECT_EQ(fifo.CallKinds(), (std::vector<Call>{Call::Purge, Call::Purge, Call::Close}));
    EXPECT_FALSE(fifo.IsOpen());

    OpenLink();
    link.Close();
    EXPECT_EQ(fifo.CallKinds(), (std::vector<Call>{Call::Purge, Call::Close}));
    EXPECT_FALSE(link.IsOpen());
}

TEST_F(FtFifoTest, PurgeFailureClosesTheDevice) {
    OpenLink();
    fifo.FailCall(Call::Purge);
    EXPECT_FALSE(link.Purge());
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(fifo.CallKinds(), (std::vector<Call>{Call::Purge, Call::Close}));
}

TEST_F(FtFifoTest, SendCommandLengthLimit) {
    OpenLink();
    const std::string nineteen(19, 'A');
    EXPECT_TRUE(link.SendCommand(nineteen.c_str()));
    ASSERT_EQ(fifo.writes.size(), 1u);
    EXPECT_EQ(fifo.writes[0], nineteen + "\r");
    EXPECT_EQ(fifo.writes[0].size(), 20u);

    EXPECT_FALSE(link.SendCommand(std::string(20, 'A').c_str()));
    EXPECT_EQ(fifo.writes.size(), 1u);

    fifo.FailCall(Call::Write);
    EXPECT_FALSE(link.SendCommand("?"));
}

TEST_F(FtFifoTest, ReadExactDeliversWholeBlocksInOrder) {
    OpenLink();
    char buf[8] = {};
    unsigned got = 99;

    fifo.Queue("abcdef");
    ASSERT_TRUE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(fifo.Readable(), 6u);  // nothing consumed

    fifo.Queue("g");
    ASSERT_TRUE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(got, 7u);
    EXPECT_EQ(std::string(buf, 7), "abcdefg");

    fifo.Queue("hijklmnopqrstu");  // 14 bytes: two blocks
    ASSERT_TRUE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(std::string(buf, got), "hijklmn");
    EXPECT_EQ(link.HeldBytes(), 7u);
    const auto callsBefore = fifo.calls.size();
    ASSERT_TRUE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(std::string(buf, got), "opqrstu");
    EXPECT_EQ(fifo.calls.size(), callsBefore);  // served from the held bytes alone
}

TEST_F(FtFifoTest, ReadExactCompletesHeldBytesWithNewOnes) {
    OpenLink();
    char buf[8] = {};
    unsigned got = 0;
    fifo.Queue("0123456789");  // one block and three held
    ASSERT_TRUE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(link.HeldBytes(), 3u);

    fifo.Queue("abc");  // 3 held + 3 queued < 7
    ASSERT_TRUE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(link.HeldBytes(), 3u);

    fifo.Queue("dXY");
    ASSERT_TRUE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(std::string(buf, got), "789abcd");
    EXPECT_EQ(link.HeldBytes(), 2u);

    EXPECT_TRUE(link.Purge());
    EXPECT_EQ(link.HeldBytes(), 0u);
}

TEST_F(FtFifoTest, ReadExactKeepsBytesOfAShortDriverRead) {
    OpenLink();
    char buf[8] = {};
    unsigned got = 0;
    fifo.Queue("1234567");
    fifo.ShortenReads(3);  // the driver delivers 4 of the 7 it promised
    ASSERT_TRUE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(link.HeldBytes(), 4u);
    fifo.ShortenReads(0);
    ASSERT_TRUE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(std::string(buf, got), "1234567");
}

TEST_F(FtFifoTest, ReadExactDriverFailures) {
    OpenLink();
    char buf[8] = {};
    unsigned got = 55;
    fifo.Queue("1234567");
    fifo.FailCall(Call::GetQueueStatus, 1);
    EXPECT_FALSE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(got, 55u);  // untouched when the queue query fails
    fifo.FailCall(Call::Read, 1);
    EXPECT_FALSE(link.ReadExact(buf, 7, &got));
    EXPECT_EQ(got, 0u);
}

TEST_F(FtFifoTest, OversizedBurstNeverOverrunsTheStore) {
    OpenLink();
    std::string stream;
    for (int i = 0; i < 3000; ++i) {
        stream += std::to_string(1000000 + i);  // 7 bytes per "record"
    }
    fifo.Queue(stream);  // 21000 bytes in one burst
    std::string received;
    char buf[7 * 100];
    unsigned got = 0;
    while (received.size() < stream.size()) {
        ASSERT_TRUE(link.ReadExact(buf, sizeof buf, &got));
        ASSERT_EQ(got, sizeof buf);
        received.append(buf, got);
    }
    EXPECT_EQ(received, stream);
    EXPECT_LE(fifo.LargestArgument(Call::Read), Tft_FIFO::kRxStoreSize);
}

TEST_F(FtFifoTest, WaitOkEndings) {
    struct Case {
        const char* name;
        std::vector<std::string> bursts;
        bool ok;
        bool timesOut;
    };
    const std::vector<Case> cases = {
        {"whole", {"OK\r"}, true, false},
        {"split after O", {"O", "K\r"}, true, false},
        {"refusal", {"NG\r"}, false, false},
        {"line feed", {"OK\n"}, false, false},
        {"carriage return late", {"OK", "\r"}, false, false},
        {"silence", {}, false, true},
        {"one byte only", {"O"}, false, true},
        {"trailing bytes", {"OK\rXYZW0123"}, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReplyingLink r("S5", c.bursts);
        ASSERT_TRUE(r.fOpened);
        ScriptedFifo& board = r.board;
        FakeClock& fake = r.clock;
        Tft_FIFO& fresh = r.link;
        EXPECT_EQ(fresh.SendCommandWaitOK("S5"), c.ok);
        EXPECT_EQ(board.writes.back(), "S5\r");
        if (c.timesOut) {
            EXPECT_GE(fake.Elapsed(), 100ms);
        } else {
            EXPECT_LT(fake.Elapsed(), 10ms);
        }
        EXPECT_FALSE(fresh.TimedOut());  // the wait leaves the timer idle
        EXPECT_LE(board.LargestArgument(Call::Read), Tft_FIFO::kAckAreaSize);
    }
}

TEST_F(FtFifoTest, WithoutSetTimeoutTheWaitIsHalfASecond) {
    OpenLink();
    EXPECT_EQ(link.TimeoutMs(), 500);
    EXPECT_FALSE(link.SendCommandWaitOK("?"));
    EXPECT_GE(clock.Elapsed(), 500ms);
    EXPECT_LT(clock.Elapsed(), 510ms);
}

TEST_F(FtFifoTest, ReadLineEndings) {
    struct Case {
        const char* name;
        std::vector<std::string> bursts;
        bool ok;
        std::string line;
        bool timesOut;
    };
    const std::string fifteen(15, 'x');
    const std::vector<Case> cases = {
        {"whole", {"ABC\r"}, true, "ABC", false},
        {"split", {"AB", "C\r"}, true, "ABC", false},
        {"empty line", {"\r"}, true, "", false},
        {"carriage return in the middle", {"A\rB"}, false, "", true},
        {"twenty bytes without end", {std::string(20, 'x')}, false, "", false},
        {"sixteen bytes ending the line", {fifteen + "\r"}, true, fifteen, false},
        {"fifteen bytes, then the carriage return", {fifteen, "\r"}, true, fifteen, false},
        {"silence", {}, false, "", true},
        {"huge burst", {std::string(300, 'y') + "\r"}, false, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReplyingLink r("U?", c.bursts);
        ASSERT_TRUE(r.fOpened);
        ScriptedFifo& board = r.board;
        FakeClock& fake = r.clock;
        Tft_FIFO& fresh = r.link;
        char reply[26];
        std::fill(std::begin(reply), std::end(reply), '#');
        const bool ok = fresh.SendCommandReadLine("U?", reply, sizeof reply);
        EXPECT_EQ(ok, c.ok);
        if (ok) {
            EXPECT_EQ(std::string(reply), c.line);
        }
        if (c.timesOut) {
            EXPECT_GE(fake.Elapsed(), 100ms);
        } else {
            EXPECT_LT(fake.Elapsed(), 10ms);
        }
        EXPECT_LT(fake.Elapsed(), 101ms);
        EXPECT_LE(board.LargestArgument(Call::Read), sizeof reply);
    }
}

// A wait that overruns its deadline (a long paint, a busy machine) while the answer comes
// still takes the answer: the queue is looked at once more after the time-out.
TEST_F(FtFifoTest, AnAnswerThatCameDuringAnOverrunWaitCounts) {
    for (const bool line : {false, true}) {
        SCOPED_TRACE(line ? "reply line" : "acknowledgement");
        ScriptedFifo board;
        FakeClock slow(150ms);
        slow.onWait = [&board, line] { board.Queue(line ? "ABC\r" : "OK\r"); };
        Tft_FIFO fresh(board, slow.Timing());
        ASSERT_TRUE(fresh.Open());
        fresh.SetTimeout(100);
        char reply[26];
        EXPECT_TRUE(line ? fresh.SendCommandReadLine("U?", reply, sizeof reply)
                         : fresh.SendCommandWaitOK("S5"));
        EXPECT_EQ(slow.Waits(), 1);
    }
}

// A dead device will not answer: neither wait sits out its time-out.
TEST_F(FtFifoTest, WaitsStopAtOnceWhenTheDriverFails) {
    OpenLink();
    fifo.FailCall(Call::GetQueueStatus);
    char reply[26];
    link.SetTimeout(100);
    EXPECT_FALSE(link.SendCommandReadLine("V?", reply, sizeof reply));
    EXPECT_LT(clock.Elapsed(), 5ms);

    ReplyingLink r("S5", {"OK\r"});
    ASSERT_TRUE(r.fOpened);
    r.board.FailCall(Call::Read);
    EXPECT_FALSE(r.link.SendCommandWaitOK("S5"));
    EXPECT_LT(r.clock.Elapsed(), 5ms);
}

TEST(NibbleToHexChar, AllDigits) {
    std::string digits;
    for (unsigned v = 0; v < 16; ++v) {
        digits += NibbleToHexChar(v);
    }
    EXPECT_EQ(digits, "0123456789ABCDEF");
}

}  // namespace
