// SPDX-License-Identifier: GPL-3.0-or-later
// The acquisition engine in process, on the simulated board with its clock moved by the test.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boardsim/SampleSource.h"
#include "measure/Acquisition.h"
#include "tests/fakes/TappedBoard.h"

using namespace std::chrono_literals;
using Outcome = AcquisitionOutcome;
using Start = Acquisition::StartResult;

namespace {

// A sink that keeps what it is told, and fails where a test asks it to.
struct LogSink : AcquisitionSink {
    std::vector<std::string>* log = nullptr;
    std::string name;
    bool fCheck = true, fOpen = true, fEnd = true;
    int failTakeAt = -1;  // this block (from 0) fails
    std::function<void()> onTake;
    std::vector<std::int32_t> ch0, ch1;

    bool Check() override { return fCheck; }
    bool Open(const AcquisitionInfo&) override { return Note("open"), fOpen; }
    void Discard() override { Note("discard"); }
    bool Begin(const AcquisitionInfo&) override {
        ch0.clear();
        ch1.clear();
        return Note("begin"), true;
    }
    bool Take(const SampleBlock& block) override {
        EXPECT_EQ(block.firstSample, static_cast<std::int64_t>(std::max(ch0.size(), ch1.size())));
        ch0.insert(ch0.end(), block.ch0.begin(), block.ch0.end());
        ch1.insert(ch1.end(), block.ch1.begin(), block.ch1.end());
        if (onTake) {
            onTake();
        }
        return failTakeAt-- != 0;
    }
    bool Restart(std::int64_t first, std::chrono::system_clock::time_point) override {
        return Note("restart " + std::to_string(first)), true;
    }
    bool End(Outcome) override { return Note("end"), fEnd; }
    void Note(const std::string& what) {
        if (log != nullptr) {
            log->push_back(name + ' ' + what);
        }
    }
};

class MeasureAcquisition : public ::testing::Test {
protected:
    explicit MeasureAcquisition(BoardOptions options = {}) : board(clock, std::move(options)) {
        for (LogSink* sink : {&a, &b}) {
            sink->log = &log;
        }
        a.name = "a";
        b.name = "b";
    }

    static RunRequest Run(int spsSel, int chSel, std::int64_t count) {
        return {.settings = {.spsSel = spsSel, .CHSel = chSel}, .count = count};
    }
    // Wakes the engine until the run ends, the board's clock moving one top-rate block a wake.
    void RunToEnd() {
        for (int wakes = 0; engine.Running() && wakes < 100000; ++wakes) {
            clock.Advance(3200us);
            engine.Wake();
        }
    }

    FakeClock clock;
    TappedBoard board;
    TADC adc{board, clock.Timing()};
    Acquisition engine{adc, [this] { return clock.Now(); }};
    std::vector<std::string> log;
    LogSink a, b;
};

TEST_F(MeasureAcquisition, ChainsStartCommandsAndHandsEveryBlockToEverySinkInOrder) {
    constexpr std::int64_t kCount = Acquisition::kMaxStartCount + 150;
    ASSERT_EQ(engine.Start(Run(16, 2, kCount), {&a, &b}), Start::Started);
    RunToEnd();
    EXPECT_EQ(engine.Result(), Outcome::Complete);
    const std::vector<std::string> starts = {"A2FFFFF", "A200096"};
    std::vector<std::string> sent;
    std::copy_if(board.commands.begin(), board.commands.end(), std::back_inserter(sent),
                 [](const std::string& c) { return c.starts_with('A'); });
    EXPECT_EQ(sent, starts);
    EXPECT_EQ(log, (std::vector<std::string>{"a open", "b open", "a begin", "b begin",
                                             "a restart 1048575", "b restart 1048575", "a end",
                                             "b end"}));
    ASSERT_EQ(a.ch0.size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(a.ch1, b.ch1);
    SampleSource source(BoardOptions{}.seed, BoardOptions{}.ch0Microvolts,
                        BoardOptions{}.ch1Microvolts);
    for (std::size_t i = 0; i < a.ch0.size(); ++i) {
        const auto codes = source.NextCodes(16, true);
        ASSERT_EQ(a.ch0[i], codes[0]) << i;
        ASSERT_EQ(a.ch1[i], codes[1]) << i;
    }
}

TEST_F(MeasureAcquisition, IdentifiesTheBoardOnlyWhenItIsNotKnown) {
    const std::vector<std::string> identify = {"?", "U?", "V?"};
    const auto started = [this, &identify](Acquisition::Identification identification) {
        EXPECT_EQ(engine.Start(Run(16, 0, 100), {&a, &b}, identification), Start::Started);
        const std::vector<std::string> sent = board.TakeCommands();
        return std::vector<std::string>(sent.begin(), sent.begin() + 3) == identify;
    };
    using Identification = Acquisition::Identification;
    EXPECT_TRUE(started(Identification::WhenUnknown));
    RunToEnd();
    // after a complete run the board is known
    EXPECT_FALSE(started(Identification::WhenUnknown));
    engine.Stop();
    board.TakeCommands();
    EXPECT_TRUE(started(Identification::WhenUnknown));  // a stop closed it
    RunToEnd();
    EXPECT_TRUE(started(Identification::Always));
}

TEST_F(MeasureAcquisition, IdentificationAloneNamesTheBoardAndSparesTheNextStartIt) {
    ASSERT_EQ(engine.Identify(), Start::Started);
    EXPECT_EQ(engine.Info().boardName, "SELKORAN");
    EXPECT_EQ(engine.Info().boardVersion, "1.10");
    EXPECT_EQ(board.TakeCommands(), (std::vector<std::string>{"?", "U?", "V?"}));
    ASSERT_EQ(engine.Start(Run(16, 0, 100), {&a, &b}), Start::Started);
    EXPECT_EQ(board.TakeCommands().front(), "S5");
    EXPECT_EQ(engine.Identify(), Start::Busy) << "never in the middle of a run";
    EXPECT_TRUE(board.TakeCommands().empty());
}

TEST_F(MeasureAcquisition, AFailingSinkEndsTheRunAsAFailedWrite) {
    b.failTakeAt = 1;
    ASSERT_EQ(engine.Start(Run(16, 0, 1000), {&a, &b}), Start::Started);
    RunToEnd();
    EXPECT_EQ(engine.Result(), Outcome::WriteFailed);
    EXPECT_EQ(engine.Acquired(), 200);
    EXPECT_EQ(board.commands.back(), "AX");
    EXPECT_TRUE(adc.IsOpen());

    a.fEnd = false;  // a complete run whose file cannot be finished did not keep its samples
    ASSERT_EQ(engine.Start(Run(16, 0, 100), {&a, &b}), Start::Started);
    RunToEnd();
    EXPECT_EQ(engine.Result(), Outcome::WriteFailed);
}

TEST_F(MeasureAcquisition, ARefusingSinkLeavesTheBoardUnconfigured) {
    a.fCheck = false;
    EXPECT_EQ(engine.Start(Run(16, 0, 100), {&a, &b}), Start::Refused);
    EXPECT_TRUE(board.TakeCommands().empty());  // refused before the board was contacted
    a.fCheck = true;
    b.fOpen = false;
    EXPECT_EQ(engine.Start(Run(16, 0, 100), {&a, &b}), Start::Refused);
    EXPECT_EQ(board.TakeCommands(), (std::vector<std::string>{"?", "U?", "V?"}));
    EXPECT_EQ(log, (std::vector<std::string>{"a open", "b open", "a discard"}));
    EXPECT_FALSE(engine.Running());
}

TEST_F(MeasureAcquisition, AStopAskedDuringAStepIsDoneWhenTheStepReturns) {
    ASSERT_EQ(engine.Start(Run(16, 0, 1000), {&a, &b}), Start::Started);
    a.onTake = [this] {
        engine.Stop();
        EXPECT_TRUE(engine.Running());  // never inside the step
    };
    clock.Advance(20ms);  // past the chip's latency time
    engine.Wake();
    EXPECT_EQ(engine.Result(), Outcome::Stopped);
    EXPECT_FALSE(adc.IsOpen());

    // A stop asked for while the last block completes the run still stops the board.
    ASSERT_EQ(engine.Start(Run(16, 0, 100), {&a, &b}), Start::Started);
    board.TakeCommands();
    clock.Advance(20ms);  // past the chip's latency time
    engine.Wake();
    EXPECT_EQ(engine.Result(), Outcome::Complete);
    EXPECT_EQ(board.commands, (std::vector<std::string>{"AX"}));
    EXPECT_FALSE(adc.IsOpen());
    EXPECT_FALSE(engine.BoardReady());
}

class MeasureAcquisitionSilent : public MeasureAcquisition {
protected:
    MeasureAcquisitionSilent() : MeasureAcquisition(Options()) {}
    static BoardOptions Options() {
        BoardOptions options;
        options.stopAfter = 5;
        return options;
    }
};

TEST_F(MeasureAcquisitionSilent, NoRecordForTheTimeOutEndsTheRunAndClosesTheBoard) {
    RunRequest request = Run(3, 0, 100);  // 10 per second
    request.noDataTimeout = 3s;
    ASSERT_EQ(engine.Start(request, {&a, &b}), Start::Started);
    while (engine.Acquired() < 5) {
        clock.Advance(100ms);
        engine.Wake();
    }
    const auto lastRecord = clock.Now();
    EXPECT_EQ(engine.NextDeadline(), lastRecord + 3s);
    clock.Advance(2999ms);
    engine.Wake();
    EXPECT_TRUE(engine.Running());
    clock.Advance(1ms);
    engine.Wake();
    EXPECT_EQ(engine.Result(), Outcome::TimedOut);
    EXPECT_EQ(board.commands.back(), "AX");
    EXPECT_FALSE(adc.IsOpen());
}

class MeasureAcquisitionRefusedFilter : public MeasureAcquisition {
protected:
    MeasureAcquisitionRefusedFilter() : MeasureAcquisition(Options()) {}
    static BoardOptions Options() {
        BoardOptions options;
        options.ngCommand = "S5";
        return options;
    }
};

TEST_F(MeasureAcquisitionRefusedFilter, AConfigurationFailureUndoesTheSinksAndForgetsTheBoard) {
    EXPECT_EQ(engine.Start(Run(3, 0, 100), {&a, &b}), Start::BoardError);
    EXPECT_EQ(log, (std::vector<std::string>{"a open", "b open", "a discard", "b discard"}));
    EXPECT_FALSE(engine.BoardReady());
    EXPECT_TRUE(adc.IsOpen());
}

}  // namespace
