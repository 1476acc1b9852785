// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-boardsim as a separate process, reached through the kernel's pseudo-terminal
// with the serial-node driver and the link in real time.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "link/driver/TtyFifo.h"
#include "tests/BoardSimFixture.h"
#include "tests/fakes/SlowClock.h"

extern char** environ;

using namespace std::chrono_literals;

namespace {

// The program, started with `args`; its first output line is the pseudo-terminal's path.
class BoardSimProcess {
public:
    explicit BoardSimProcess(const std::vector<std::string>& args) {
        const std::string program = ProgramPath();
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        // Its complaints about bad options are expected here.
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        output = out[0];
        firstLine = NextLine(5s);
    }

    ~BoardSimProcess() {
        if (pid > 0) {
            Stop(SIGKILL);
        }
        close(output);
    }

    // The next line the program prints (with --trace: a command the board received), or ""
    // when none comes within `limit`.
    std::string NextLine(std::chrono::milliseconds limit) const {
        std::string line;
        char c = 0;
        pollfd wait{output, POLLIN, 0};
        while (poll(&wait, 1, static_cast<int>(limit.count())) > 0 && read(output, &c, 1) == 1 &&
               c != '\n') {
            line += c;
        }
        return line;
    }

    // The exit code after `signal`, or -1 when it did not exit normally within 5 s.
    int Stop(int signal) {
        kill(pid, signal);
        return Wait(5s);
    }

    // The exit code once it has ended by itself, or -1.
    int Wait(std::chrono::milliseconds limit) {
        int status = 0;
        for (const auto end = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(5ms)) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        return -1;
    }

    std::string firstLine;

private:
    static std::string ProgramPath() {
        return (std::filesystem::path(SELKORAN_BUILD_DIR) / "selkoran-boardsim").string();
    }

    pid_t pid = -1;
    int output = -1;
};

// Gives up after `limit` of real time, sleeping a millisecond between polls.
std::function<bool()> RealWait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    return [end] {
        std::this_thread::sleep_for(1ms);
        return std::chrono::steady_clock::now() < end;
    };
}

// Reply time-outs of 100 ms stretched to 5 s of real time.
LinkTiming SlackTiming() {
    return Slowed(LinkTiming{}, 50);
}

void Identify(TADC& adc, const char* expectedName = "SELKORAN") {
    ASSERT_TRUE(adc.OpenBoard());
    ASSERT_TRUE(adc.Ping());
    char name[TADC::kMaxReplyText + 1] = "";
    char version[TADC::kMaxReplyText + 1] = "";
    ASSERT_TRUE(adc.ReadBoardName(name));
    EXPECT_STREQ(name, expectedName);
    ASSERT_TRUE(adc.ReadBoardVersion(version));
    EXPECT_STREQ(version, "1.10");
}

TEST(BoardSimPty, FastestTwoChannelRunArrivesWhole) {
    BoardSimProcess board({"--seed=7"});
    ASSERT_EQ(board.firstLine.rfind("/dev/", 0), 0u) << board.firstLine;
    TtyFifo fifo(board.firstLine);
    TADC adc(fifo, SlackTiming());
    Identify(adc);
    ASSERT_TRUE(adc.SelectSinc5());
    ASSERT_TRUE(adc.SetDataRate(16));
    ASSERT_TRUE(adc.StartConversion(2, 1000));
    const auto run = ReadRun(adc, 2, 1000, 100, RealWait(30s));
    ASSERT_FALSE(run.fFailed);
    ASSERT_EQ(run.acquired, 1000);
    BoardOptions options;
    options.seed = 7;
    ExpectSamples(run, ExpectedCodes(options, 16, true, 1000), 2, 0, 1000);

    // Nothing follows the last record.
    std::this_thread::sleep_for(100ms);
    std::int32_t extra[2];
    int got = -1;
    EXPECT_TRUE(adc.ReadSamples2CH(&extra[0], &extra[1], 1, &got));
    EXPECT_EQ(got, 0);

    // The node can be closed and opened again.
    adc.CloseBoard();
    Identify(adc);
    adc.CloseBoard();
    EXPECT_EQ(board.Stop(SIGTERM), 0);
}

TEST(BoardSimPty, EveryChannelChoiceAtEveryRate) {
    BoardSimProcess board({"--seed=11"});
    TtyFifo fifo(board.firstLine);
    TADC adc(fifo, SlackTiming());
    Identify(adc);
    // One source follows the board: each complete run draws exactly its count.
    SampleSource source(11, BoardOptions{}.ch0Microvolts, BoardOptions{}.ch1Microvolts);
    for (int rate = 0; rate <= TADC::kMaxRateIndex; ++rate) {
        const bool fSinc5 = rate % 2 == 0;
        for (int channel = 0; channel < 3; ++channel) {
            SCOPED_TRACE(testing::Message() << "rate " << rate << " channel " << channel);
            const int count = kSamplesPerPoll[rate];
            ASSERT_TRUE(fSinc5 ? adc.SelectSinc5() : adc.SelectSinc3());
            ASSERT_TRUE(adc.SetDataRate(rate));
            ASSERT_TRUE(adc.StartConversion(channel, count));
            const auto run = ReadRun(adc, channel, count, count, RealWait(30s));
            ASSERT_FALSE(run.fFailed);
            ASSERT_EQ(run.acquired, count);
            std::vector<std::array<std::int32_t, 2>> codes;
            for (int i = 0; i < count; ++i) {
                codes.push_back(source.NextCodes(rate, fSinc5));
            }
            ExpectSamples(run, codes, channel, 0, count);
        }
    }
    EXPECT_EQ(board.Stop(SIGINT), 0);
}

TEST(BoardSimPty, SineKeysReachTheProgram) {
    BoardSimProcess board({"--seed=11", "--sine=1000.3", "--amp=2000000", "--hd2=-80"});
    TtyFifo fifo(board.firstLine);
    TADC adc(fifo, SlackTiming());
    Identify(adc);
    ASSERT_TRUE(adc.SetDataRate(16));
    ASSERT_TRUE(adc.StartConversion(2, 2000));
    const auto run = ReadRun(adc, 2, 2000, 100, RealWait(30s));
    ASSERT_EQ(run.acquired, 2000);
    BoardOptions options;
    std::string error;
    ASSERT_TRUE(BoardOptions::Parse("seed=11,sine=1000.3,amp=2000000,hd2=-80", &options, &error));
    ExpectSamples(run, ExpectedCodes(options, 16, true, 2000), 2, 0, 2000);
    EXPECT_EQ(board.Stop(SIGINT), 0);
}

TEST(BoardSimPty, FaultSwitchesReachTheProgram) {
    BoardSimProcess board({"--name=OTHER", "--ng=S3"});
    TtyFifo fifo(board.firstLine);
    TADC adc(fifo, SlackTiming());
    Identify(adc, "OTHER");
    EXPECT_FALSE(adc.SelectSinc3());
    EXPECT_TRUE(adc.SelectSinc5());
    EXPECT_EQ(board.Stop(SIGINT), 0);
}

TEST(BoardSimPty, VanishingBoardFailsTheRunAndEndsTheProgram) {
    BoardSimProcess board({"--vanish=300"});
    TtyFifo fifo(board.firstLine);
    TADC adc(fifo, SlackTiming());
    Identify(adc);
    ASSERT_TRUE(adc.SetDataRate(16));
    ASSERT_TRUE(adc.StartConversion(2, 1000));
    const auto run = ReadRun(adc, 2, 1000, 100, RealWait(3s));
    EXPECT_TRUE(run.fFailed);
    EXPECT_LE(run.acquired, 300);
    EXPECT_EQ(board.Wait(2s), 0);
    EXPECT_FALSE(adc.Ping());
}

// A stop written just before the close reaches the board, every time: the close's purge must
// not discard it on its way. The program reads nothing of the stream meanwhile, so the board's
// records back up in the line as when a loaded machine is slow to read.
TEST(BoardSimPty, StopBeforeACloseAlwaysReachesTheBoard) {
    BoardSimProcess board({"--trace"});
    TtyFifo fifo(board.firstLine, 1ms);
    TADC adc(fifo, SlackTiming());
    constexpr int kRuns = 200;
    int stopsSeen = 0;
    for (int run = 0; run < kRuns; ++run) {
        ASSERT_TRUE(adc.OpenBoard());
        ASSERT_TRUE(adc.StartConversion(2, 0xFFFFF));
        std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(adc.StopConversion());
        adc.CloseBoard();
        // A board that has missed the stop prints nothing more until the next start.
        std::string line;
        do {
            line = board.NextLine(500ms);
        } while (line == "< A2FFFFF");
        stopsSeen += line == "< AX";
    }
    EXPECT_EQ(stopsSeen, kRuns);
}

TEST(BoardSimPty, RefusesUnknownOptions) {
    for (const std::string arg : {"--colour=red", "--purgefail=1", "seed=1"}) {
        BoardSimProcess board({arg});
        EXPECT_EQ(board.firstLine, "") << arg;
        EXPECT_EQ(board.Wait(2s), 2) << arg;
    }
}

}  // namespace
