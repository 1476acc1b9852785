// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings in HDF5 in process, on the simulated board with its clock moved a block at a time:
// the file against the CSV recording of the same seed (also as h5py reads it), stretches read
// back, damaged files, and conversion between the two types.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <QProcess>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "boardsim/SampleSource.h"
#include "record/Hdf5Attributes.h"
#include "record/Hdf5Layout.h"
#include "record/Hdf5RecordingReader.h"
#include "record/Recorder.h"
#include "record/RecordingAnalysis.h"
#include "record/RecordingConverter.h"
#include "record/RecordingSource.h"
#include "tests/fakes/TappedBoard.h"

namespace {

namespace fs = std::filesystem;
using Codes = std::array<std::vector<std::int32_t>, 2>;
using FileType = RecordingSink::Type;

// The simulated board (the default seed) on a chip with a USB serial number.
BoardOptions WithSerial() {
    BoardOptions options;
    options.serial = "FT1234AB";
    return options;
}

// One recording on its own simulated board, woken until it ends.
struct Recording {
    FakeClock clock;
    TappedBoard board{clock, WithSerial()};
    TADC adc{board, clock.Timing()};
    Acquisition engine{adc, [this] { return clock.Now(); }};
    Recorder recorder{engine, [this] { return clock.Now(); }};

    Acquisition::StartResult Start(const std::string& path, std::int64_t count, FileType type) {
        return recorder.Start({.run = {.settings = {.spsSel = 16, .CHSel = 2}, .count = count},
                               .file = {.path = path}},
                              type);
    }
    void Wake(int wakes = 1 << 30) {
        for (; recorder.Recording() && wakes > 0; --wakes) {
            clock.Advance(std::chrono::microseconds(3200));
            recorder.Wake();
        }
    }
};

// Every code of a recording of either type, and what it says of itself.
Codes ReadAll(const std::string& path, RecordingReader::Contents& contents) {
    Codes codes;
    const bool fRead = RecordingSource::Read(
        path, contents,
        [&codes](std::span<const std::int32_t> ch0, std::span<const std::int32_t> ch1) {
            codes[0].insert(codes[0].end(), ch0.begin(), ch0.end());
            codes[1].insert(codes[1].end(), ch1.begin(), ch1.end());
            return true;
        },
        nullptr);
    EXPECT_TRUE(fRead) << path;
    return codes;
}

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Puts rows into /restarts of `file`, one per first sample, as a recording writes them.
void WriteRestarts(hid_t file, const std::vector<std::int64_t>& samples) {
    struct Row {
        std::int64_t sample;
        std::int64_t timeNs;
    };
    std::vector<Row> rows;
    for (const std::int64_t sample : samples) {
        rows.push_back({sample, 1'700'000'000'000'000'000 + sample});
    }
    const Hdf5Handle dataset(H5Dopen2(file, Hdf5Layout::kRestarts, H5P_DEFAULT), H5Dclose);
    const Hdf5Handle type(H5Tcreate(H5T_COMPOUND, sizeof(Row)), H5Tclose);
    H5Tinsert(type.Id(), Hdf5Layout::kRestartSample, HOFFSET(Row, sample), H5T_NATIVE_INT64);
    H5Tinsert(type.Id(), Hdf5Layout::kRestartTime, HOFFSET(Row, timeNs), H5T_NATIVE_INT64);
    const hsize_t extent[] = {rows.size()};
    ASSERT_GE(H5Dset_extent(dataset.Id(), extent), 0);
    ASSERT_GE(H5Dwrite(dataset.Id(), type.Id(), H5S_ALL, H5S_ALL, H5P_DEFAULT, rows.data()), 0);
}

class Hdf5Recording : public ::testing::Test {
protected:
    void TearDown() override { fs::remove_all(folder); }
    std::string Path(const std::string& name) const { return (folder / name).string(); }

    fs::path folder = fs::temp_directory_path() / ("selkoran-h5-" + std::to_string(::getpid()));
    bool fMade = fs::create_directories(folder);
};

TEST_F(Hdf5Recording, HoldsTheCsvRecordingsCodesSettingsAndRestartsAndGivesTheSameFigures) {
    constexpr std::int64_t kCount = Acquisition::kMaxStartCount + 5000;
    Recording hdf5;
    Recording csv;
    ASSERT_EQ(hdf5.Start(Path("rec.h5"), kCount, FileType::Hdf5),
              Acquisition::StartResult::Started);
    ASSERT_EQ(csv.Start(Path("rec.csv"), kCount, FileType::Csv), Acquisition::StartResult::Started);
    hdf5.Wake();
    csv.Wake();
    ASSERT_EQ(hdf5.recorder.Result(), AcquisitionOutcome::Complete);
    ASSERT_EQ(csv.recorder.Result(), AcquisitionOutcome::Complete);

    RecordingReader::Contents fromHdf5;
    RecordingReader::Contents fromCsv;
    EXPECT_EQ(ReadAll(Path("rec.h5"), fromHdf5), ReadAll(Path("rec.csv"), fromCsv));
    EXPECT_EQ(fromHdf5.count, kCount);
    EXPECT_EQ(fromHdf5.settings, fromCsv.settings);
    EXPECT_EQ(fromHdf5.channels, fromCsv.channels);

    Hdf5RecordingReader reader;
    ASSERT_TRUE(reader.Open(Path("rec.h5"))) << reader.Reason();
    const RecordingDescription& d = reader.Description();
    EXPECT_EQ(d.header.boardName + " / " + d.header.boardVersion, "SELKORAN / 1.10");
    EXPECT_EQ(d.header.count, kCount);
    EXPECT_EQ(d.header.start,
              std::chrono::floor<std::chrono::milliseconds>(hdf5.recorder.Header().start));
    EXPECT_EQ(d.serial, "FT1234AB");
    ASSERT_EQ(d.restarts.size(), 1u);
    EXPECT_EQ(d.restarts[0].firstSample, Acquisition::kMaxStartCount);
    ASSERT_TRUE(d.end.has_value());
    EXPECT_EQ(d.end->outcome, AcquisitionOutcome::Complete);

    // The analysis reads either type through one path: the same figures to the last bit.
    RecordingAnalysis::Failure failure{};
    const auto a = RecordingAnalysis::Analyse({.path = Path("rec.h5"), .onlyChannel = 1}, &failure);
    const auto b =
        RecordingAnalysis::Analyse({.path = Path("rec.csv"), .onlyChannel = 1}, &failure);
    ASSERT_TRUE(a && b);
    const NoiseAnalysis& x = *a->channels[0].analysis;
    const NoiseAnalysis& y = *b->channels[0].analysis;
    EXPECT_EQ(x.statistics.rmsMicrovolts, y.statistics.rmsMicrovolts);
    EXPECT_EQ(x.histogram.counts, y.histogram.counts);
    EXPECT_EQ(x.spectrum.nanovoltsPerRootHz, y.spectrum.nanovoltsPerRootHz);
    EXPECT_EQ(x.allan.deviationMicrovolts, y.allan.deviationMicrovolts);

    // A reader we did not write finds the same.
    QProcess h5py;
    h5py.start("/usr/bin/python3",
               {SELKORAN_SOURCE_DIR "/tests/h5py_check.py", "compare",
                QString::fromStdString(Path("rec.h5")), QString::fromStdString(Path("rec.csv"))});
    ASSERT_TRUE(h5py.waitForFinished(60000));
    EXPECT_EQ(h5py.exitCode(), 0) << h5py.readAll().toStdString();
}

// A close look reads old stretches from /codes and the newest from what waits for the next
// flush; after the end, from the closed file.
TEST_F(Hdf5Recording, ReadsBackStretchesFromTheFileAndFromWhatWaitsForIt) {
    constexpr std::int64_t kCount = 40000;
    SampleSource source(BoardOptions{}.seed, BoardOptions{}.ch0Microvolts,
                        BoardOptions{}.ch1Microvolts);
    Codes expected;
    for (std::int64_t i = 0; i < kCount; ++i) {
        const auto codes = source.NextCodes(16, true);
        expected[0].push_back(codes[0]);
        expected[1].push_back(codes[1]);
    }
    const auto check = [&](const Recording& recording, std::int64_t first, std::int64_t last) {
        Codes codes;
        ASSERT_TRUE(recording.recorder.ReadBack(first, last, codes)) << first << ".." << last;
        for (std::size_t ch = 0; ch < 2; ++ch) {
            EXPECT_TRUE(std::equal(codes[ch].begin(), codes[ch].end(), expected[ch].begin() + first,
                                   expected[ch].begin() + last))
                << "channel " << ch << " from " << first;
            EXPECT_EQ(codes[ch].size(), static_cast<std::size_t>(last - first));
        }
    };
    Recording recording;
    ASSERT_EQ(recording.Start(Path("rec.h5"), kCount, FileType::Hdf5),
              Acquisition::StartResult::Started);
    recording.Wake(100);  // a chunk in the file, the rest waiting in memory
    const std::int64_t taken = recording.recorder.Written();
    ASSERT_GT(taken, Hdf5Layout::kChunkRows + 1000);
    check(recording, 0, 10);
    check(recording, Hdf5Layout::kChunkRows - 500, taken);
    Codes codes;
    EXPECT_FALSE(recording.recorder.ReadBack(taken - 1, taken + 1, codes));
    recording.Wake();
    ASSERT_EQ(recording.recorder.Result(), AcquisitionOutcome::Complete);
    check(recording, kCount - 3000, kCount);
}

// At 1.25 per second every flush rides on a sample's wake: the file never wakes the recording
// between two samples, and no sample waits longer than a second for the file. The loop sleeps
// as the command line's does, as long as the engine says, to the next whole millisecond: the
// simulated board hands its due time over on the steady clock, and a busy machine's
// microseconds between two looks at it would otherwise wake the loop just short of a sample.
TEST_F(Hdf5Recording, ASlowRecordingsFlushesRideOnItsSamplesWakes) {
    Recording recording;
    ASSERT_EQ(recording.recorder.Start({.run = {.settings = {.spsSel = 0}, .count = 12},
                                        .file = {.path = Path("slow.h5")}},
                                       FileType::Hdf5),
              Acquisition::StartResult::Started);
    int idleWakes = 0;
    while (recording.recorder.Recording()) {
        const auto sleep = recording.recorder.NextWait().duration;
        recording.clock.Advance(std::chrono::ceil<std::chrono::milliseconds>(sleep));
        const std::int64_t before = recording.recorder.Written();
        recording.recorder.Wake();
        idleWakes += recording.recorder.Written() == before;
        const auto deadline = recording.recorder.NextDeadline();
        EXPECT_TRUE(deadline == Acquisition::Clock::time_point::max() ||
                    deadline <= recording.clock.Now() + std::chrono::seconds(1));
    }
    EXPECT_EQ(recording.recorder.Result(), AcquisitionOutcome::Complete);
    EXPECT_LE(idleWakes, 1);
}

// Past a further start command the file still waits a second between flushes: once its rows
// and the restart row are out, nothing waits, so the file's deadline is never already due
// (a deadline in the past would flush and sync the disk at every block).
TEST_F(Hdf5Recording, AfterAFurtherStartCommandTheFileFlushesOnlyOnceASecond) {
    Recording recording;
    ASSERT_EQ(recording.Start(Path("long.h5"), Acquisition::kMaxStartCount + 40000, FileType::Hdf5),
              Acquisition::StartResult::Started);
    int dueAlready = 0;
    int wakesAfterRestart = 0;
    while (recording.recorder.Recording()) {
        recording.Wake(1);
        if (recording.recorder.Written() > Acquisition::kMaxStartCount) {
            ++wakesAfterRestart;
            dueAlready += recording.recorder.NextDeadline() <= recording.clock.Now();
        }
    }
    EXPECT_EQ(recording.recorder.Result(), AcquisitionOutcome::Complete);
    EXPECT_GT(wakesAfterRestart, 300);
    EXPECT_EQ(dueAlready, 0);
}

// The last rows cannot be written when the run has ended well: the file says the write failed,
// not that the run was complete.
TEST_F(Hdf5Recording, ALastFlushThatFailsIsTheOutcomeEvenOfACompleteRun) {
    Recording recording;
    ASSERT_EQ(recording.Start(Path("last.h5"), 50, FileType::Hdf5),
              Acquisition::StartResult::Started);
    // From now on the file may not grow: the 50 rows wait in memory for the end's flush.
    const auto size = static_cast<rlim_t>(fs::file_size(Path("last.h5")));
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limited{size, old.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    recording.Wake();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    // Room again (other files deleted): the space the library had taken for the rows that
    // could not be written reads as zeros.
    fs::resize_file(Path("last.h5"), fs::file_size(Path("last.h5")) + (1 << 20));
    const Hdf5Handle file(
        H5Fopen(Path("last.h5").c_str(), H5F_ACC_RDONLY | H5F_ACC_SWMR_READ, H5P_DEFAULT),
        H5Fclose);
    ASSERT_TRUE(file.Valid());
    EXPECT_EQ(Hdf5Attributes::ReadText(file.Id(), Hdf5Layout::kOutcomeKey), "write-failed");
}

// Damaged and foreign files: never a crash, always the reason.
TEST_F(Hdf5Recording, DamagedOrForeignFilesAreNoRecordingAndSayWhy) {
    Recording recording;
    ASSERT_EQ(recording.Start(Path("good.h5"), 3000, FileType::Hdf5),
              Acquisition::StartResult::Started);
    recording.Wake();
    const std::string good = FileText(Path("good.h5"));
    // A copy of the good file changed by `change`, which gets the file and /codes.
    const auto changed = [&](const std::string& name,
                             const std::function<void(hid_t, hid_t)>& change) {
        std::ofstream(Path(name), std::ios::binary) << good;
        const Hdf5Handle file(H5Fopen(Path(name).c_str(), H5F_ACC_RDWR, H5P_DEFAULT), H5Fclose);
        const Hdf5Handle codes(H5Dopen2(file.Id(), Hdf5Layout::kCodes, H5P_DEFAULT), H5Dclose);
        EXPECT_TRUE(codes.Valid());
        change(file.Id(), codes.Id());
        return Path(name);
    };
    std::ofstream(Path("cut.h5"), std::ios::binary) << good.substr(0, 1500);
    // A damaged record is read again and again, as one half-written while the file grows;
    // with the library's default number of tries that took minutes.
    std::string damaged = good;
    damaged[20] = static_cast<char>(damaged[20] ^ 0x55);
    std::ofstream(Path("checksum.h5"), std::ios::binary) << damaged;
    const std::pair<std::string, std::string> rows[] = {
        {Path("cut.h5"), "HDF5 ファイルとして開けません"},
        {Path("checksum.h5"), "HDF5 ファイルとして開けません"},
        {changed("foreign.h5",
                 [](hid_t file, hid_t) {
                     Hdf5Attributes::WriteText(file, Hdf5Layout::kFormatKey, "other");
                 }),
         "SELKORAN の記録ではありません"},
        {changed("newer.h5",
                 [](hid_t file, hid_t) {
                     Hdf5Attributes::WriteInteger(file, Hdf5Layout::kFormatVersionKey, 2,
                                                  H5T_STD_I32LE);
                 }),
         "この版では読めない記録です（format_version 2）"},
        {changed("rate.h5",
                 [](hid_t, hid_t codes) {
                     Hdf5Attributes::WriteInteger(codes, Hdf5Layout::kRateKey, 17, H5T_STD_I32LE);
                 }),
         "属性 spsSel が正しくありません"},
        // Two columns both said to be CH0 would mix two channels' codes into one.
        {changed("same-channel.h5",
                 [](hid_t, hid_t codes) {
                     H5Adelete(codes, Hdf5Layout::kChannelsKey);
                     const int twice[] = {0, 0};
                     Hdf5Attributes::WriteIntegers(codes, Hdf5Layout::kChannelsKey, twice);
                 }),
         "属性 channels が正しくありません"},
        {changed("code.h5",
                 [](hid_t, hid_t codes) {
                     const std::int32_t code = 16777216;
                     const hsize_t at[] = {100, 1};
                     const hsize_t one[] = {1, 1};
                     Hdf5Handle space(H5Dget_space(codes), H5Sclose);
                     Hdf5Handle memory(H5Screate_simple(2, one, nullptr), H5Sclose);
                     H5Sselect_hyperslab(space.Id(), H5S_SELECT_SET, at, nullptr, one, nullptr);
                     H5Dwrite(codes, H5T_NATIVE_INT32, memory.Id(), space.Id(), H5P_DEFAULT, &code);
                 }),
         "範囲外のコードがあります（サンプル 101）"},
        // A further start command begins after the first sample and after the one before.
        {changed("restart0.h5", [](hid_t file, hid_t) { WriteRestarts(file, {0}); }),
         "/restarts が正しくありません"},
        {changed("restart-twice.h5",
                 [](hid_t file, hid_t) {
                     WriteRestarts(file, {1000, 1000});
                 }),
         "/restarts が正しくありません"}};
    for (const auto& [path, reason] : rows) {
        SCOPED_TRACE(path);
        RecordingReader::Contents contents;
        std::string why;
        EXPECT_FALSE(RecordingSource::Read(
            path, contents, [](auto, auto) { return true; }, &why));
        EXPECT_EQ(why, reason);
        RecordingAnalysis::Failure failure{};
        EXPECT_FALSE(RecordingAnalysis::Analyse({.path = path}, &failure));
        EXPECT_EQ(failure, RecordingAnalysis::Failure::BadFile);
    }
}

// CSV to HDF5 and back gives the first file again, byte for byte: rows, restart lines and the
// end line; the other way round the same codes, settings, restarts and end.
TEST_F(Hdf5Recording, ConvertingThereAndBackGivesTheSameFile) {
    Recording recording;
    ASSERT_EQ(recording.Start(Path("rec.csv"), Acquisition::kMaxStartCount + 5000, FileType::Csv),
              Acquisition::StartResult::Started);
    while (recording.recorder.Written() < Acquisition::kMaxStartCount + 700) {
        recording.Wake(1);
    }
    recording.recorder.Stop();

    std::string reason;
    const auto convert = [&](const std::string& in, const std::string& out, bool fCompress) {
        return RecordingConverter::Convert({Path(in), Path(out), false, fCompress}, &reason);
    };
    ASSERT_EQ(convert("rec.csv", "rec.h5", true), RecordingConverter::Result::Done) << reason;
    ASSERT_EQ(convert("rec.h5", "back.csv", false), RecordingConverter::Result::Done) << reason;
    EXPECT_TRUE(FileText(Path("back.csv")) == FileText(Path("rec.csv")));
    ASSERT_EQ(convert("back.csv", "again.h5", false), RecordingConverter::Result::Done);
    Hdf5RecordingReader first;
    Hdf5RecordingReader again;
    ASSERT_TRUE(first.Open(Path("rec.h5")) && again.Open(Path("again.h5")));
    EXPECT_EQ(first.Description().restarts, again.Description().restarts);
    EXPECT_EQ(first.Description().end, again.Description().end);
    EXPECT_EQ(first.Description().end->outcome, AcquisitionOutcome::Stopped);
    EXPECT_EQ(first.Settings(), again.Settings());
    RecordingReader::Contents contents;
    EXPECT_EQ(ReadAll(Path("rec.h5"), contents), ReadAll(Path("again.h5"), contents));

    // An existing output stays as it was; an input that is no recording leaves nothing behind.
    EXPECT_EQ(convert("rec.csv", "back.csv", false), RecordingConverter::Result::OutputExists);
    const std::string text = FileText(Path("rec.csv"));
    const std::string endLine = text.substr(text.rfind("# end:"));
    std::ofstream(Path("short.csv")) << text.substr(0, text.find('\n', 4000) + 1) << endLine;
    EXPECT_EQ(convert("short.csv", "short.h5", false), RecordingConverter::Result::InputBad);
    EXPECT_EQ(reason, "終わりの行のデータ数が行の数と合いません");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 5);
}

}  // namespace
