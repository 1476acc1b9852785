// SPDX-License-Identifier: GPL-3.0-or-later
// A recording recorder in process, on the simulated board with its clock moved a block at a time,
// so a recording longer than one start command takes no real time.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "boardsim/SampleSource.h"
#include "link/Ad7172.h"
#include "measure/Acquisition.h"
#include "record/Recorder.h"
#include "record/RecordingAnalysis.h"
#include "record/RecordingFile.h"
#include "record/RecordingReader.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/TappedBoard.h"

using namespace std::chrono_literals;

namespace {

std::string TemporaryPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("selkoran-" + name + '-' + std::to_string(::getpid()) + ".csv"))
        .string();
}

// Lines of a text file that are rows (neither comments nor the column line).
std::size_t RowCount(const std::string& path) {
    std::ifstream file(path);
    std::size_t rows = 0;
    for (std::string line; std::getline(file, line);) {
        rows += !line.starts_with('#') && !line.starts_with("sample,");
    }
    return rows;
}

std::string LastLine(const std::string& path) {
    std::ifstream file(path);
    std::string last;
    for (std::string line; std::getline(file, line);) {
        last = line;
    }
    return last;
}

class RecordRecorder : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(path); }

    Recorder::Request TopRate(std::int64_t count) const {
        return {.run = {.settings = {.spsSel = 16}, .count = count}, .file = {.path = path}};
    }

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
    Acquisition engine{adc, [this] { return clock.Now(); }};
    Recorder recorder{engine, [this] { return clock.Now(); }};
    std::string path = TemporaryPath("record");
};

TEST_F(RecordRecorder, ChainsStartCommandsPastTheLargestCountAndMarksTheBoundary) {
    constexpr std::int64_t kCount = Acquisition::kMaxStartCount + 1;
    std::int64_t observed = 0;
    recorder.SetBlockObserver([&observed](const SampleBlock& block) {
        EXPECT_EQ(block.firstSample, observed);
        EXPECT_TRUE(block.ch1.empty());
        observed += static_cast<std::int64_t>(block.ch0.size());
    });
    ASSERT_EQ(recorder.Start(TopRate(kCount), RecordingSink::Type::Csv),
              Acquisition::StartResult::Started);
    RunToEnd();
    EXPECT_EQ(recorder.Result(), AcquisitionOutcome::Complete);
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
            EXPECT_EQ(rows, Acquisition::kMaxStartCount);
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
    EXPECT_TRUE(LastLine(path).ends_with(" samples:1048576 outcome:complete")) << LastLine(path);
}

// A start asked for while a recording runs is refused as busy and touches neither file: the
// running recording goes on numbering its rows and ends complete with every sample.
TEST_F(RecordRecorder, AStartDuringARecordingIsBusyAndLeavesItsFileWhole) {
    ASSERT_EQ(recorder.Start(TopRate(3000), RecordingSink::Type::Csv),
              Acquisition::StartResult::Started);
    for (int i = 0; i < 5; ++i) {
        clock.Advance(std::chrono::microseconds(3200));
        recorder.Wake();
    }
    ASSERT_GT(recorder.Written(), 0);
    Recorder::Request other = TopRate(100);
    other.file.path = TemporaryPath("other");
    for (const auto type : {RecordingSink::Type::Csv, RecordingSink::Type::Hdf5}) {
        EXPECT_EQ(recorder.Start(other, type), Acquisition::StartResult::Busy);
    }
    EXPECT_FALSE(std::filesystem::exists(other.file.path));
    RunToEnd();
    EXPECT_EQ(recorder.Result(), AcquisitionOutcome::Complete);
    EXPECT_EQ(recorder.Kept(), 3000);
    std::ifstream file(path);
    std::int64_t rows = 0;
    for (std::string line; std::getline(file, line);) {
        std::int64_t sample = 0;
        if (!line.starts_with('#') && !line.starts_with("sample,")) {
            std::from_chars(line.data(), line.data() + line.size(), sample);
            ASSERT_EQ(sample, ++rows);
        }
    }
    EXPECT_EQ(rows, 3000);
    EXPECT_TRUE(LastLine(path).ends_with(" samples:3000 outcome:complete")) << LastLine(path);
}

// Whatever came more than a second before a wake is in the file after it.
TEST_F(RecordRecorder, RowsOlderThanASecondAreInTheFileAfterTheNextWake) {
    Recorder::Request request = TopRate(1000);
    request.run.settings.spsSel = 8;  // 100.2 per second
    ASSERT_EQ(recorder.Start(request, RecordingSink::Type::Csv), Acquisition::StartResult::Started);
    std::vector<std::int64_t> written;  // after each wake, 10 ms apart
    while (recorder.Recording() && written.size() < 400) {
        clock.Advance(std::chrono::milliseconds(10));
        recorder.Wake();
        written.push_back(recorder.Written());
        const std::size_t due = written.size() > 100 ? written[written.size() - 101] : 0;
        ASSERT_GE(RowCount(path), due) << "at wake " << written.size();
    }
}

// At 1.25 per second each sample's wake hands the row before it to the system, so the file
// never asks for a wake of its own between two samples.
TEST(RecordFile, ASampleWakeTakesTheRowOfTheWakeBeforeAlong) {
    const std::string path = TemporaryPath("flush");
    RecordingFile file;
    const RecordingFile::Clock::time_point t0{};
    ASSERT_EQ(file.Create(path, true, t0), FileRefusal::None);
    ASSERT_TRUE(file.Append("1,8388608,0\n", t0));
    EXPECT_EQ(file.NextDeadline(), t0 + RecordingFile::kFlushInterval);  // the promise
    ASSERT_TRUE(file.Append("2,8388608,0\n", t0 + 800ms));
    ASSERT_TRUE(file.Tick(t0 + 800ms));
    EXPECT_EQ(file.Flushed(), file.Size());
    EXPECT_GT(file.NextDeadline(), t0 + 1600ms);  // only the sync is due, ten seconds on
    file.Finish();
    std::filesystem::remove(path);
}

// Where the filters differ (2597 per second with Sinc5+Sinc1, 2604 with Sinc3).
TEST_F(RecordRecorder, ASinc3RecordingIsAnalysedAtItsOwnRate) {
    Recorder::Request request = TopRate(3000);
    request.run.settings.spsSel = 12;
    request.run.settings.fSinc5 = false;
    ASSERT_EQ(recorder.Start(request, RecordingSink::Type::Csv), Acquisition::StartResult::Started);
    RunToEnd();
    RecordingAnalysis::Failure failure{};
    const auto analysis = RecordingAnalysis::Analyse({.path = path}, &failure);
    ASSERT_TRUE(analysis);
    EXPECT_DOUBLE_EQ(analysis->channels.at(0).analysis->spectrum.frequencyHz.back(), 1302.0);
}

// Old stretches read back through the file's index equal the simulator's codes, across the
// boundary line of the second start command too; rows still in the file's buffer are not read.
TEST_F(RecordRecorder, ReadsOldStretchesBackFromTheFileButNothingUnflushed) {
    constexpr std::int64_t kCount = Acquisition::kMaxStartCount + 3000;
    Recorder::Request request = TopRate(kCount);
    request.run.settings.CHSel = 2;
    ASSERT_EQ(recorder.Start(request, RecordingSink::Type::Csv), Acquisition::StartResult::Started);
    std::array<std::vector<std::int32_t>, 2> codes;
    for (int i = 0; i < 50; ++i) {
        clock.Advance(std::chrono::microseconds(3200));
        recorder.Wake();
    }
    const std::int64_t written = recorder.Written();
    ASSERT_GT(written, 0);
    EXPECT_FALSE(recorder.ReadBack(written - 1, written, codes));
    RunToEnd();
    ASSERT_EQ(recorder.Result(), AcquisitionOutcome::Complete);

    SampleSource source(BoardOptions{}.seed, BoardOptions{}.ch0Microvolts,
                        BoardOptions{}.ch1Microvolts);
    std::vector<std::array<std::int32_t, 2>> expected(static_cast<std::size_t>(kCount));
    for (auto& sample : expected) {
        sample = source.NextCodes(16, true);
    }
    const auto check = [&](std::int64_t first, std::int64_t last) {
        ASSERT_TRUE(recorder.ReadBack(first, last, codes)) << first;
        for (std::size_t ch = 0; ch < 2; ++ch) {
            ASSERT_EQ(codes[ch].size(), static_cast<std::size_t>(last - first));
            for (std::int64_t s = first; s < last; ++s) {
                ASSERT_EQ(codes[ch][static_cast<std::size_t>(s - first)],
                          expected[static_cast<std::size_t>(s)][ch])
                    << "channel " << ch << " sample " << s;
            }
        }
    };
    check(0, 1);
    check(5000, 6700);
    check(Acquisition::kMaxStartCount - 900, Acquisition::kMaxStartCount + 900);
    check(kCount - 2000, kCount);
    EXPECT_FALSE(recorder.ReadBack(kCount - 10, kCount + 1, codes));
    // The index stays a small part of the codes' own size.
    EXPECT_LT(recorder.IndexBytes() * 256, static_cast<std::size_t>(kCount) * 2 * 4);
}

// Every way but completion ends with "AX"; the stop button and silence also close the board,
// which must then be identified again, while a failed read leaves it open as the window does.
TEST(RecordSessionEnd, EndsSendStopAndKeepTheRowsReceived) {
    struct Row {
        const char* faults;
        bool fStop;  // the stop button after 250 records
        AcquisitionOutcome outcome;
        bool fOpenAfter;
        std::size_t rows;
        const char* ending;  // the outcome in the file's last line
    };
    const Row rows[] = {
        {"", true, AcquisitionOutcome::Stopped, false, 250, "stopped"},
        {"stopafter=300", false, AcquisitionOutcome::TimedOut, false, 300, "timeout"},
        {"short=350", false, AcquisitionOutcome::ReadFailed, true, 350, "read-failed"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        const std::string path = TemporaryPath("end");
        BoardOptions options;
        ASSERT_TRUE(BoardOptions::Parse(row.faults, &options, nullptr));
        FakeClock clock;
        TappedBoard board(clock, options);
        TADC adc(board, clock.Timing());
        Acquisition engine(adc, [&clock] { return clock.Now(); });
        Recorder recorder(engine, [&clock] { return clock.Now(); });
        // 100.2 per second, one record per block
        const Recorder::Request request{
            .run = {.settings = {.spsSel = 8}, .count = 1000, .noDataTimeout = 2s},
            .file = {.path = path}};
        ASSERT_EQ(recorder.Start(request, RecordingSink::Type::Csv),
                  Acquisition::StartResult::Started);
        while (recorder.Recording()) {
            if (row.fStop && recorder.Written() == 250) {
                recorder.Stop();
                break;
            }
            clock.Advance(std::chrono::milliseconds(5));
            recorder.Wake();
        }
        EXPECT_EQ(recorder.Result(), row.outcome);
        EXPECT_EQ(board.commands.back(), "AX");
        EXPECT_EQ(adc.IsOpen(), row.fOpenAfter);
        EXPECT_EQ(RowCount(path), row.rows);
        const std::string end = " samples:" + std::to_string(row.rows) + " outcome:" + row.ending;
        EXPECT_TRUE(LastLine(path).starts_with("# end:") && LastLine(path).ends_with(end));
        std::filesystem::remove(path);
    }
}

// A file cut short by a crash, one ended by its last line at full scale (read and analysed),
// and one that is not a recording at all.
TEST(RecordReader, LeavesOutALastLineCutShortAndRefusesCodesBeyond24Bits) {
    const std::string path = TemporaryPath("reader");
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
    EXPECT_TRUE(read(start + "2,16777215,1\n3,0,1\n# end:x samples:3 outcome:complete\n", codes));
    EXPECT_EQ(codes, (std::vector<std::int32_t>{8388608, 16777215, 0}));
    RecordingAnalysis::Failure failure{};
    const auto analysis = RecordingAnalysis::Analyse({.path = path}, &failure);
    ASSERT_TRUE(analysis);
    EXPECT_EQ(analysis->channels.at(0).analysis->statistics.maxCode, 16777215);
    EXPECT_FALSE(read(start + "2,16777216,0\n", codes));
    EXPECT_FALSE(read(start + "2,8388608\n", codes));
    EXPECT_FALSE(read("1,8388608,0\n", codes));
    std::filesystem::remove(path);
}

}  // namespace
