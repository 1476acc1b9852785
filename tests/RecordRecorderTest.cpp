// The recorder in process, on the simulated board with its clock moved a block at a time, so a
// recording longer than one start command takes no real time.

#include <gtest/gtest.h>
#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Ad7172.h"
#include "FakeClock.h"
#include "Recorder.h"
#include "RecordingReader.h"
#include "SampleSource.h"
#include "SimulatedFifo.h"

namespace {

// The simulated board behind a tap that keeps every command line the PC writes.
class TappedBoard : public FifoDriver {
public:
    explicit TappedBoard(FakeClock& clock) : board({}, [&clock] { return clock.Now(); }) {}

    std::vector<std::string> commands;

    FifoStatus Open(int n, FifoHandle* h) override { return board.Open(n, h); }
    FifoStatus SetUSBParameters(FifoHandle h, unsigned rx, unsigned tx) override {
        return board.SetUSBParameters(h, rx, tx);
    }
    FifoStatus Purge(FifoHandle h, unsigned mask) override { return board.Purge(h, mask); }
    FifoStatus Close(FifoHandle h) override { return board.Close(h); }
    FifoStatus GetQueueStatus(FifoHandle h, unsigned* rx) override {
        return board.GetQueueStatus(h, rx);
    }
    FifoStatus Read(FifoHandle h, void* b, unsigned n, unsigned* got) override {
        return board.Read(h, b, n, got);
    }
    FifoStatus Write(FifoHandle h, const void* b, unsigned n, unsigned* written) override {
        std::string text(static_cast<const char*>(b), n);
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        commands.push_back(text);
        return board.Write(h, b, n, written);
    }

private:
    SimulatedFifo board;
};

class RecordRecorder : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(path); }

    // Wakes the recorder until it ends, the board's clock moving one top-rate block per wake.
    void RunToEnd() {
        while (recorder.Recording()) {
            clock.Advance(std::chrono::microseconds(3200));
            recorder.Wake();
        }
    }

    FakeClock clock;
    TappedBoard board{clock};
    TADC adc{board, clock.Timing()};
    Recorder recorder{adc, [this] { return clock.Now(); }};
    std::string path = (std::filesystem::temp_directory_path() /
                        ("selkoran-record-" + std::to_string(::getpid()) + ".csv"))
                           .string();
};

TEST_F(RecordRecorder, ChainsStartCommandsPastTheLargestCountAndMarksTheBoundary) {
    constexpr std::int64_t kCount = Recorder::kMaxStartCount + 1;
    std::int64_t observed = 0;
    recorder.SetBlockObserver([&observed](const Recorder::Block& block) {
        EXPECT_EQ(block.firstSample, observed);
        EXPECT_TRUE(block.ch1.empty());
        observed += static_cast<std::int64_t>(block.ch0.size());
    });
    Recorder::Request request;
    request.spsSel = 16;
    request.count = kCount;
    request.path = path;
    ASSERT_EQ(recorder.Start(request), Recorder::StartResult::Started);
    RunToEnd();
    EXPECT_EQ(recorder.Result(), Recorder::Outcome::Complete);
    EXPECT_EQ(observed, kCount);

    const std::vector<std::string> starts = [this] {
        std::vector<std::string> found;
        for (const std::string& c : board.commands) {
            if (c.starts_with('A')) {
                found.push_back(c);
            }
        }
        return found;
    }();
    EXPECT_EQ(starts, (std::vector<std::string>{"A0FFFFF", "A000001"}));

    // Every row in order with the simulator's codes; one boundary line, between the two starts.
    SampleSource source(BoardOptions{}.seed, BoardOptions{}.ch0Microvolts,
                        BoardOptions{}.ch1Microvolts);
    std::ifstream file(path);
    std::string line;
    std::int64_t rows = 0;
    std::vector<std::string> boundaries;
    while (std::getline(file, line)) {
        if (line.starts_with("# restart:")) {
            EXPECT_EQ(rows, Recorder::kMaxStartCount);
            boundaries.push_back(line);
        } else if (!line.starts_with('#') && !line.starts_with("sample,")) {
            std::int64_t sample = 0;
            std::int32_t code = 0;
            const char* end = line.data() + line.size();
            const auto [next, error] = std::from_chars(line.data(), end, sample);
            ASSERT_EQ(error, std::errc());
            std::from_chars(next + 1, end, code);
            ASSERT_EQ(sample, ++rows);
            ASSERT_EQ(code, source.NextCodes(16, true)[0]) << "sample " << sample;
        }
    }
    EXPECT_EQ(rows, kCount);
    ASSERT_EQ(boundaries.size(), 1u);
    EXPECT_TRUE(boundaries[0].ends_with(" sample:1048576")) << boundaries[0];
}

}  // namespace

namespace {

// A file cut short by a crash, and one that is not a recording at all.
TEST(RecordReader, LeavesOutALastLineCutShortAndRefusesCodesBeyond24Bits) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("selkoran-reader-" + std::to_string(::getpid()) + ".csv"))
                                 .string();
    const auto read = [&path](const std::string& text, std::vector<std::int32_t>& codes) {
        std::ofstream(path) << text;
        codes.clear();
        RecordingReader::Contents contents;
        return RecordingReader::Read(
            path, contents,
            [&codes](std::span<const std::int32_t> ch0, std::span<const std::int32_t>) {
                codes.insert(codes.end(), ch0.begin(), ch0.end());
                return true;
            });
    };
    std::vector<std::int32_t> codes;
    const std::string start = "# spsSel:16\nsample,ch0_code,ch0_microvolts\n1,8388608,0\n";
    EXPECT_TRUE(read(start + "# restart:x sample:2\n2,8388609,0.29\n3,83886", codes));
    EXPECT_EQ(codes, (std::vector<std::int32_t>{8388608, 8388609}));
    EXPECT_FALSE(read(start + "2,16777216,0\n", codes));
    EXPECT_FALSE(read(start + "2,8388608\n", codes));
    EXPECT_FALSE(read("1,8388608,0\n", codes));
    std::filesystem::remove(path);
}

}  // namespace
