// SPDX-License-Identifier: GPL-3.0-or-later
// The link's command set against the simulated board: identification, configuration,
// whole runs, and how every fault of the board shows at the link.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/BoardSimFixture.h"

using namespace std::chrono_literals;

namespace {

// Opened and identified as a run's connection does it.
void Connect(SimLink& link) {
    ASSERT_TRUE(link.adc.OpenBoard());
    ASSERT_TRUE(link.adc.Ping());
}

TEST(BoardSimLink, IdentifiesTheBoard) {
    SimLink link;
    Connect(link);
    char name[TADC::kMaxReplyText + 1] = "";
    char version[TADC::kMaxReplyText + 1] = "";
    ASSERT_TRUE(link.adc.ReadBoardName(name));
    ASSERT_TRUE(link.adc.ReadBoardVersion(version));
    EXPECT_STREQ(name, "SELKORAN");
    EXPECT_STREQ(version, "1.10");
    // Every answer came at once, far inside the 100 ms time-out.
    EXPECT_LT(link.clock.Elapsed(), 20ms);
}

TEST(BoardSimLink, AcceptsEveryFilterAndRate) {
    SimLink link;
    Connect(link);
    EXPECT_TRUE(link.adc.SelectSinc3());
    EXPECT_TRUE(link.adc.SelectSinc5());
    for (int index = 0; index <= TADC::kMaxRateIndex; ++index) {
        EXPECT_TRUE(link.adc.SetDataRate(index)) << index;
    }
}

struct RunCase {
    int rateIndex;
    bool fSinc5;
    int channelSel;
    int count;
};

// Configures, starts and reads a whole run as the window does; checks every sample and
// that nothing follows the last record.
void TakeRun(const RunCase& c, const BoardOptions& options = {}) {
    SCOPED_TRACE(testing::Message() << "rate " << c.rateIndex << (c.fSinc5 ? " Sinc5" : " Sinc3")
                                    << " channel " << c.channelSel << " count " << c.count);
    SimLink link(options);
    Connect(link);
    ASSERT_TRUE(c.fSinc5 ? link.adc.SelectSinc5() : link.adc.SelectSinc3());
    ASSERT_TRUE(link.adc.SetDataRate(c.rateIndex));
    ASSERT_TRUE(link.adc.StartConversion(c.channelSel, c.count));

    const double seconds = c.count / SampleRates::SamplesPerSecond(c.rateIndex, c.fSinc5);
    const auto limit = std::chrono::seconds(static_cast<long>(seconds * 1.1) + 1);
    const auto run = ReadRun(link.adc, c.channelSel, c.count, kSamplesPerPoll[c.rateIndex],
                             link.FakeWait(c.rateIndex, c.fSinc5, limit));
    ASSERT_FALSE(run.fFailed);
    ASSERT_EQ(run.acquired, c.count);
    ExpectSamples(run, ExpectedCodes(options, c.rateIndex, c.fSinc5, c.count), c.channelSel, 0,
                  c.count);

    link.clock.Advance(2s);
    EXPECT_EQ(link.fifo.Board().Available(), 0u) << "bytes after the last record";
}

TEST(BoardSimLink, CompleteRunsAtSlowMiddleAndFastestRates) {
    const RunCase cases[] = {
        {2, true, 0, 100},    {2, true, 1, 100},    {2, false, 2, 100},
        {9, true, 0, 1000},   {9, false, 1, 1000},  {9, true, 2, 1000},
        {16, true, 0, 10000}, {16, true, 1, 10000}, {16, true, 2, 10000},
    };
    for (const auto& c : cases) {
        TakeRun(c);
    }
}

TEST(BoardSimLink, EveryChannelChoiceAtEveryRate) {
    for (int rate = 0; rate <= TADC::kMaxRateIndex; ++rate) {
        for (int channel = 0; channel < 3; ++channel) {
            for (const bool fSinc5 : {true, false}) {
                TakeRun({rate, fSinc5, channel, 4 * kSamplesPerPoll[rate]});
            }
        }
    }
}

TEST(BoardSimLink, ARunRepeatsWithItsSeed) {
    BoardOptions options;
    options.seed = 424242;
    options.ch0Microvolts = -1000.0;
    TakeRun({16, true, 2, 500}, options);
}

TEST(BoardSimFaults, SilentBoardTimesOut) {
    BoardOptions options;
    options.fSilent = true;
    SimLink link(options);
    ASSERT_TRUE(link.adc.OpenBoard());
    const auto start = link.clock.Now();
    EXPECT_FALSE(link.adc.Ping());
    const auto waited = link.clock.Now() - start;
    EXPECT_GE(waited, 100ms);
    EXPECT_LT(waited, 110ms);
    char name[TADC::kMaxReplyText + 1];
    EXPECT_FALSE(link.adc.ReadBoardName(name));
}

TEST(BoardSimFaults, RefusedCommandFailsAtOnce) {
    using Operation = std::function<bool(TADC&)>;
    char text[TADC::kMaxReplyText + 1];
    const std::vector<std::pair<std::string, Operation>> cases = {
        {"?", [](TADC& adc) { return adc.Ping(); }},
        {"S3", [](TADC& adc) { return adc.SelectSinc3(); }},
        {"S5", [](TADC& adc) { return adc.SelectSinc5(); }},
        {"F7", [](TADC& adc) { return adc.SetDataRate(7); }},
        {"FX", [](TADC& adc) { return adc.SetDataRate(16); }},
        {"U?", [&](TADC& adc) { return adc.ReadBoardName(text); }},
        {"V?", [&](TADC& adc) { return adc.ReadBoardVersion(text); }},
    };
    for (const auto& [command, operation] : cases) {
        BoardOptions options;
        options.ngCommand = command;
        SimLink link(options);
        ASSERT_TRUE(link.adc.OpenBoard());
        const auto start = link.clock.Now();
        EXPECT_FALSE(operation(link.adc)) << command;
        EXPECT_LT(link.clock.Now() - start, 10ms) << command;
        // Only that command is refused.
        EXPECT_TRUE(link.adc.SetDataRate(command == "F7" ? 8 : 7)) << command;
    }
}

TEST(BoardSimFaults, OtherNamesReachTheCaller) {
    struct Case {
        std::string name;
        bool fRead;
        std::string delivered;
    };
    const Case cases[] = {
        {"AD7172EVAL", true, "AD7172EVAL"},
        {"SELKORAN-X2", true, "SELKORAN-X"},  // cut to 10 characters
        {"NEWBOARD", false, ""},              // first character N reads as a refusal
    };
    for (const auto& c : cases) {
        BoardOptions options;
        options.name = c.name;
        SimLink link(options);
        Connect(link);
        char name[TADC::kMaxReplyText + 1] = "";
        EXPECT_EQ(link.adc.ReadBoardName(name), c.fRead) << c.name;
        if (c.fRead) {
            EXPECT_STREQ(name, c.delivered.c_str());
            EXPECT_STRNE(name, "SELKORAN");
        }
    }
}

// Each operation on a board of its own: a late or split reply would otherwise reach the
// next query, as it would on the wire.
bool PingsOnFreshLink(const BoardOptions& options) {
    SimLink link(options);
    return link.adc.OpenBoard() && link.adc.Ping();
}

std::string NameOnFreshLink(const BoardOptions& options) {
    SimLink link(options);
    char name[TADC::kMaxReplyText + 1] = "";
    return link.adc.OpenBoard() && link.adc.ReadBoardName(name) ? name : "(failed)";
}

TEST(BoardSimFaults, DelayedRepliesTimeOutPastTheLimit) {
    struct Case {
        int delayMs;
        bool fAnswered;
    };
    for (const auto& c :
         {Case{0, true}, Case{50, true}, Case{95, true}, Case{105, false}, Case{300, false}}) {
        BoardOptions options;
        options.replyDelayMs = c.delayMs;
        EXPECT_EQ(PingsOnFreshLink(options), c.fAnswered) << c.delayMs;
        EXPECT_EQ(NameOnFreshLink(options), c.fAnswered ? "SELKORAN" : "(failed)") << c.delayMs;
    }
}

TEST(BoardSimFaults, SplitRepliesMeetTheReadersLimits) {
    // The acknowledgement wait stops once two bytes are in, so "OK" must not arrive before
    // its carriage return; the line reader collects until the carriage return.
    struct Case {
        int burst;
        bool fAcknowledged;
    };
    for (const auto& c : {Case{1, false}, Case{2, false}, Case{3, true}, Case{4, true}}) {
        BoardOptions options;
        options.replyBurstSize = c.burst;
        EXPECT_EQ(PingsOnFreshLink(options), c.fAcknowledged) << c.burst;
        EXPECT_EQ(NameOnFreshLink(options), "SELKORAN") << c.burst;
    }
}

TEST(BoardSimFaults, MalformedRecordFailsItsBlock) {
    struct Case {
        bool fLineFeed;  // else a record one digit short
        int at;
        int rateIndex;
        int channelSel;
    };
    const Case cases[] = {
        {true, 250, 16, 0}, {true, 37, 11, 2}, {false, 250, 16, 2},
        {false, 37, 11, 1}, {true, 0, 16, 1},  {false, 5, 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.fLineFeed ? "LF" : "short") << " at " << c.at
                                        << " rate " << c.rateIndex << " channel " << c.channelSel);
        BoardOptions options;
        (c.fLineFeed ? options.lineFeedAt : options.shortRecordAt) = c.at;
        SimLink link(options);
        Connect(link);
        ASSERT_TRUE(link.adc.SetDataRate(c.rateIndex));
        ASSERT_TRUE(link.adc.StartConversion(c.channelSel, 1000));
        const int block = kSamplesPerPoll[c.rateIndex];
        const auto run =
            ReadRun(link.adc, c.channelSel, 1000, block, link.FakeWait(c.rateIndex, true, 200s));
        ASSERT_TRUE(run.fFailed);
        EXPECT_EQ(run.acquired, c.at / block * block);
        EXPECT_EQ(run.failedBlockGot, c.at % block);
        ExpectSamples(run, ExpectedCodes(options, c.rateIndex, true, c.at), c.channelSel, 0, c.at);
    }
}

TEST(BoardSimFaults, StoppedStreamKeepsReadsEmpty) {
    BoardOptions options;
    options.stopAfter = 150;
    SimLink link(options);
    Connect(link);
    ASSERT_TRUE(link.adc.SetDataRate(16));
    ASSERT_TRUE(link.adc.StartConversion(2, 1000));
    auto run = ReadRun(link.adc, 2, 1000, 100, link.FakeWait(16, true, 5s));
    EXPECT_FALSE(run.fFailed);
    EXPECT_EQ(run.acquired, 100);
    for (int poll = 0; poll < 5; ++poll) {
        link.clock.Advance(10s);
        int got = -1;
        EXPECT_TRUE(link.adc.ReadSamples2CH(&run.ch0[100], &run.ch1[100], 100, &got));
        EXPECT_EQ(got, 0);
    }
}

TEST(BoardSimFaults, FailedPurgeClosesTheDevice) {
    BoardOptions atOpen;
    atOpen.purgeFailsAt = 0;
    SimLink first(atOpen);
    EXPECT_FALSE(first.adc.OpenBoard());
    EXPECT_FALSE(first.adc.IsOpen());

    BoardOptions atPing;
    atPing.purgeFailsAt = 2;  // opening purges twice
    SimLink second(atPing);
    ASSERT_TRUE(second.adc.OpenBoard());
    EXPECT_FALSE(second.adc.Ping());
    EXPECT_FALSE(second.adc.IsOpen());
    EXPECT_FALSE(second.adc.StopConversion());
    // One failed purge; the board can be opened again.
    Connect(second);
}

TEST(BoardSimFaults, VanishedDeviceFailsEveryCall) {
    BoardOptions options;
    options.vanishAfter = 300;
    SimLink link(options);
    Connect(link);
    ASSERT_TRUE(link.adc.SetDataRate(16));
    ASSERT_TRUE(link.adc.StartConversion(2, 1000));
    const auto run = ReadRun(link.adc, 2, 1000, 100, link.FakeWait(16, true, 5s));
    EXPECT_TRUE(run.fFailed);
    // Records 200..299 were not all out of the chip: its partial packet went with it.
    EXPECT_EQ(run.acquired, 200);
    EXPECT_EQ(run.failedBlockGot, 0);
    EXPECT_FALSE(link.adc.Ping());
    EXPECT_FALSE(link.adc.IsOpen());
    EXPECT_FALSE(link.adc.OpenBoard());

    FifoDriver& driver = link.fifo;
    FifoHandle handle = 0;
    unsigned count = 0;
    char buffer[8] = "?\r";
    EXPECT_NE(driver.Open(0, &handle), FifoStatusCode::Ok);
    handle = SimulatedFifo::kHandle;
    EXPECT_NE(driver.SetUSBParameters(handle, 4096, 0), FifoStatusCode::Ok);
    EXPECT_NE(driver.Purge(handle, kPurgeRx | kPurgeTx), FifoStatusCode::Ok);
    EXPECT_NE(driver.GetQueueStatus(handle, &count), FifoStatusCode::Ok);
    EXPECT_NE(driver.Read(handle, buffer, sizeof buffer, &count), FifoStatusCode::Ok);
    EXPECT_NE(driver.Write(handle, buffer, 2, &count), FifoStatusCode::Ok);
    EXPECT_NE(driver.Close(handle), FifoStatusCode::Ok);
}

}  // namespace
