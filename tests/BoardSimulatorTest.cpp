// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated board on its own: what it answers, how its records look, how they are
// paced and packed, and how its options are read.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "boardsim/BoardOptions.h"
#include "boardsim/BoardSimulator.h"
#include "tests/BoardSimFixture.h"

using namespace std::chrono_literals;
using Clock = BoardSimulator::Clock;

namespace {

class Bench {
public:
    explicit Bench(BoardOptions options = {}) : board(std::move(options), [this] { return now; }) {}
    void Send(const std::string& bytes) { board.Write(bytes.data(), bytes.size()); }
    std::string Take() {
        std::string bytes(board.Available(), '\0');
        bytes.resize(board.Read(bytes.data(), bytes.size()));
        return bytes;
    }

    Clock::time_point now{std::chrono::hours(2)};
    BoardSimulator board;
};

TEST(BoardSimulator, AnswersEachCommandLine) {
    std::vector<std::pair<std::string, std::string>> cases = {
        {"?", "OK\r"},
        {"S3", "OK\r"},
        {"S5", "OK\r"},
        {"FX", "OK\r"},
        {"U?", "SELKORAN\r"},
        {"V?", "1.10\r"},
        {"AX", ""},
        {"A0003E8", ""},
        {"FG", "NG\r"},
        {"F", "NG\r"},
        {"F10", "NG\r"},
        {"Fa", "NG\r"},
        {"s5", "NG\r"},
        {"S4", "NG\r"},
        {"u?", "NG\r"},
        {"", "NG\r"},
        {"A3003E8", "NG\r"},
        {"A003E8", "NG\r"},
        {"A00003E8", "NG\r"},
        {"A0003e8", "NG\r"},
        {"A0003G8", "NG\r"},
        {"A", "NG\r"},
        {"?\n", "NG\r"},
        {"OK", "NG\r"},
        {"ABCDEFGHIJKLMNOPQRS", "NG\r"},
        {"ABCDEFGHIJKLMNOPQRST", "NG\r"},
    };
    for (const char c : std::string("0123456789ABCDEF")) {
        cases.push_back({std::string("F") + c, "OK\r"});
    }
    for (const auto& [command, reply] : cases) {
        Bench bench;
        bench.Send(command + "\r");
        EXPECT_EQ(bench.Take(), reply) << command;
    }
}

TEST(BoardSimulator, VersionIsNoRefusal) {
    Bench bench;
    bench.Send("V?\r");
    const std::string version = bench.Take();
    ASSERT_GE(version.size(), 3u);
    EXPECT_NE(version[0], 'N');
    EXPECT_NE(version[1], 'G');
    EXPECT_EQ(version.back(), '\r');
}

TEST(BoardSimulator, CommandsMayComeInPiecesAndTogether) {
    Bench bench;
    bench.Send("U");
    EXPECT_EQ(bench.Take(), "");
    bench.Send("?\rS5\rV?\r");
    EXPECT_EQ(bench.Take(), "SELKORAN\rOK\r1.10\r");
}

// Records of a run in their wire form, and nothing after the last.
TEST(BoardSimulator, SendsExactlyTheRequestedRecords) {
    for (int channel = 0; channel < 3; ++channel) {
        Bench bench;
        bench.Send("F9\r");
        ASSERT_EQ(bench.Take(), "OK\r");
        bench.Send("A" + std::to_string(channel) + "00123\r");
        bench.now += 10s;
        const std::string bytes = bench.Take();
        const std::size_t width = channel == 2 ? 12 : 6;
        ASSERT_EQ(bytes.size(), 0x123 * (width + 1)) << channel;
        const auto codes = ExpectedCodes({}, 9, true, 0x123);
        for (int i = 0; i < 0x123; ++i) {
            const std::string record = bytes.substr(i * (width + 1), width + 1);
            ASSERT_EQ(record.find_first_not_of("0123456789ABCDEF"), width) << record;
            ASSERT_EQ(record.back(), '\r');
            const auto first =
                static_cast<std::int32_t>(std::strtol(record.substr(0, 6).c_str(), nullptr, 16));
            EXPECT_EQ(first, codes[i][channel == 1 ? 1 : 0]) << i;
            if (channel == 2) {
                EXPECT_EQ(std::strtol(record.substr(6, 6).c_str(), nullptr, 16), codes[i][1]) << i;
            }
        }
        bench.now += 10s;
        EXPECT_EQ(bench.Take(), "");
    }
}

// The rates of the rate box items; the first figure of an item belongs to Sinc5+Sinc1.
TEST(BoardSimulator, PacesRecordsAtTheSelectedRate) {
    const char* items[17] = {"1.25sps",
                             "2.5sps",
                             "5sps",
                             "10sps",
                             "16.63sps/16.67sps",
                             "20.01sps",
                             "49.68sps/50sps",
                             "59.52sps/59.98sps",
                             "100.2sps",
                             "200.3sps",
                             "503.8sps/504sps",
                             "1007sps/1008sps",
                             "2597sps/2604sps",
                             "5208sps",
                             "10417sps",
                             "15625sps",
                             "31250sps"};
    const std::string rateChars = "0123456789ABCDEFX";
    constexpr int kRecords = 1000;
    for (int index = 0; index < 17; ++index) {
        for (const bool fSinc5 : {true, false}) {
            const std::string item = items[index];
            const auto slash = item.find('/');
            const std::string figure =
                fSinc5 || slash == std::string::npos ? item : item.substr(slash + 1);
            const double sps = std::strtod(figure.c_str(), nullptr);
            Bench bench;
            bench.Send(std::string(fSinc5 ? "S5" : "S3") + "\rF" + rateChars[index] + "\r");
            bench.Take();
            bench.Send("A0007D0\r");
            // Half a period past record 1000: that record is out, the next one is not.
            bench.now +=
                std::chrono::nanoseconds(static_cast<long long>((kRecords + 0.5) / sps * 1e9));
            const std::size_t sent = bench.Take().size();
            bench.now += UsbOutput::kLatency;
            const std::size_t flushed = sent + bench.Take().size();
            EXPECT_LE(sent, kRecords * 7u) << item << (fSinc5 ? " Sinc5" : " Sinc3");
            EXPECT_GT(sent + UsbOutput::kPacketSize, kRecords * 7u) << item;
            if (1.0 / sps > 2 * std::chrono::duration<double>(UsbOutput::kLatency).count()) {
                EXPECT_EQ(flushed, kRecords * 7u) << item;
            }
        }
    }
}

TEST(BoardSimulator, StreamLeavesInPackets) {
    Bench bench;
    bench.Send("FX\r");
    ASSERT_EQ(bench.Take(), "OK\r");
    bench.Send("A2003E8\r");
    std::size_t total = 0;
    bool fCutRecord = false;
    for (int step = 0; step < 40; ++step) {
        bench.now += 1ms;
        const std::size_t n = bench.Take().size();
        EXPECT_EQ(n % UsbOutput::kPacketSize, 0u) << step;
        total += n;
        fCutRecord = fCutRecord || total % 13 != 0;
    }
    EXPECT_TRUE(fCutRecord) << "readers never met a partial record";
    bench.now += UsbOutput::kLatency;
    total += bench.Take().size();
    EXPECT_EQ(total, 1000u * 13);
}

TEST(BoardSimulator, PartialPacketWaitsForTheLatencyTimer) {
    Bench bench;
    bench.Send("F3\r");  // 10 per second
    ASSERT_EQ(bench.Take(), "OK\r");
    bench.Send("A000002\r");
    bench.now += 100ms + UsbOutput::kLatency - 1us;
    EXPECT_EQ(bench.Take(), "");
    bench.now += 1us;
    EXPECT_EQ(bench.Take().size(), 7u);
}

TEST(BoardSimulator, StopEndsTheStreamAtOnceAndStartRestartsIt) {
    Bench bench;
    bench.Send("FX\r");
    ASSERT_EQ(bench.Take(), "OK\r");
    bench.Send("A1003E8\r");
    bench.now += 10ms;
    bench.Send("AX\r");
    bench.now += UsbOutput::kLatency;
    const std::size_t first = bench.Take().size();
    EXPECT_LT(first, 320u * 7);
    EXPECT_GT(first, 300u * 7);
    bench.now += 1s;
    EXPECT_EQ(bench.Take(), "");

    bench.Send("A100010\r");
    bench.now += 1s;
    EXPECT_EQ(bench.Take().size(), 16u * 7);
}

TEST(BoardSimulator, PurgeDropsQueuedBytesButNotTheRun) {
    Bench bench;
    bench.Send("F8\r");
    ASSERT_EQ(bench.Take(), "OK\r");
    bench.Send("A000064\r");  // 100 records at 100.2 per second
    bench.now += 500ms;
    bench.board.PurgeOutput();
    EXPECT_EQ(bench.board.Available(), 0u);
    bench.now += 2s;
    const std::size_t rest = bench.Take().size();
    EXPECT_EQ(rest % 7, 0u);
    EXPECT_EQ(rest / 7, 100u - 50u);
}

TEST(BoardSimulator, NextEventTimeFollowsTheStreamAndReplies) {
    BoardOptions options;
    options.replyDelayMs = 30;
    Bench bench(options);
    EXPECT_FALSE(bench.board.NextEventTime());
    const auto start = bench.now;
    bench.Send("F3\r");
    EXPECT_EQ(bench.board.NextEventTime(), start + 30ms);
    bench.now += 30ms;
    EXPECT_EQ(bench.Take(), "OK\r");
    bench.Send("A000001\r");
    EXPECT_EQ(bench.board.NextEventTime(), bench.now + 100ms);
}

TEST(BoardOptions, ReadsKeyValueLists) {
    BoardOptions options;
    std::string error;
    ASSERT_TRUE(
        BoardOptions::Parse("seed=7,ch0=-12.5,ch1=2000000,name=OTHER,silent,ng=S5,"
                            "delay=150,split=2,lf=10,short=11,stopafter=12,purgefail=3,"
                            "vanish=14,hd2=-80.5,amp=1500000,sine=1000.25",
                            &options, &error))
        << error;
    EXPECT_EQ(options.seed, 7u);
    EXPECT_EQ(options.ch0Microvolts, -12.5);
    EXPECT_EQ(options.ch1Microvolts, 2000000.0);
    EXPECT_EQ(options.name, "OTHER");
    EXPECT_TRUE(options.fSilent);
    EXPECT_EQ(options.ngCommand, "S5");
    EXPECT_EQ(options.replyDelayMs, 150);
    EXPECT_EQ(options.replyBurstSize, 2);
    EXPECT_EQ(options.lineFeedAt, 10);
    EXPECT_EQ(options.shortRecordAt, 11);
    EXPECT_EQ(options.stopAfter, 12);
    EXPECT_EQ(options.purgeFailsAt, 3);
    EXPECT_EQ(options.vanishAfter, 14);
    EXPECT_EQ(options.sine.frequencyHz, 1000.25);
    EXPECT_EQ(options.sine.peakMicrovolts, 1500000.0);
    EXPECT_EQ(options.sine.hd2Dbc, -80.5);
    EXPECT_FALSE(options.sine.hd3Dbc);
    EXPECT_FALSE(BoardOptions{}.sine.frequencyHz > 0.0) << "no sine unless one is set";
}

TEST(BoardOptions, RefusesWhatItDoesNotKnow) {
    for (const std::string text :
         {"seed", "seed=", "seed=x", "seed=-1", "colour=red", "silent=1", "delay=5ms", "split=0",
          "split=65", "lf=-1", "ch0=3V", "ch1=9e9", "name=", "name=ABCDEFGHIJKLMNOPQRST", "seed=1,",
          ",seed=1", "seed=1,,lf=2"}) {
        BoardOptions options;
        std::string error;
        EXPECT_FALSE(BoardOptions::Parse(text, &options, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

}  // namespace
