// SPDX-License-Identifier: GPL-3.0-or-later
// Figures of long recordings, from whole processes where the program runs as the user runs it.
//   bench_record paced [runs]      selkoran-cli record, 1,048,575 two-channel samples at
//                                  31250/s (33.6 s), on the simulated board in process and on
//                                  selkoran-boardsim: CPU (user + system) share, peak resident
//                                  memory, and every row against an unpaced recording of the
//                                  same seed; peak memory of 10^4 samples beside it
//   bench_record unpaced [runs]    the recorder and the simulated board with its clock moved a
//                                  block ahead per wake, and the file writer alone: samples
//                                  per second against 31250
//   bench_record analyze [count]   selkoran-cli analyze of a one-channel recording of `count`
//                                  samples (default 10^7) and of 10^5: time and peak memory
//   bench_record readback          stretches of 2000 samples of a two-channel recording of
//                                  2,097,150 read back from its file, as a close look at an
//                                  old stretch does: time per stretch
//   bench_record files [count]     a two-channel recording of `count` samples (default 10^7)
//                                  made unpaced as CSV, HDF5 and compressed HDF5: the file
//                                  sizes, selkoran-cli analyze of each (medians of 3) and
//                                  h5py loading /codes (median of 5)
//   bench_record formats [runs]    selkoran-cli record at the top rate, 2CH x 1,048,575 on the
//                                  simulated board in process, into CSV, HDF5 and compressed
//                                  HDF5 in turn: CPU share of each, medians

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/ProcessUsage.h"
#include "bench/UnpacedRecording.h"
#include "link/Ad7172.h"
#include "link/driver/SimulatedFifo.h"
#include "measure/Acquisition.h"
#include "record/RecordingFile.h"
#include "record/RecordingFormat.h"

namespace {

using ProcessUsage::ChildUsage;
using ProcessUsage::RunChild;
using Steady = std::chrono::steady_clock;

constexpr double kTopSamplesPerSecond = 31250.0;
constexpr std::int64_t kLongRun = Acquisition::kMaxStartCount;

std::string BuildProgram(const char* name) {
    return std::string(SELKORAN_BUILD_DIR) + '/' + name;
}

std::string TemporaryPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("selkoran-bench-" + std::to_string(::getpid()) + '-' + name))
        .string();
}

// Samples per second of one pass, by the wall clock and by this process's processor time
// (the machine is shared, so the second is the steadier).
struct Rate {
    double perWallSecond = 0.0;
    double perCpuSecond = 0.0;
};

// Times `pass`, which handles `count` samples and says whether it succeeded.
template <typename Pass>
Rate Measure(std::int64_t count, Pass pass) {
    const double cpu0 = ProcessUsage::CpuSeconds();
    const auto t0 = Steady::now();
    if (!pass()) {
        return {};
    }
    const double wall = std::chrono::duration<double>(Steady::now() - t0).count();
    const double cpu = ProcessUsage::CpuSeconds() - cpu0;
    return {static_cast<double>(count) / wall, static_cast<double>(count) / cpu};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// selkoran-boardsim on a pseudo-terminal for as long as the object lives.
class BoardProcess {
public:
    BoardProcess() {
        int ends[2];
        if (::pipe(ends) != 0) {
            return;
        }
        pid = ::fork();
        if (pid == 0) {
            ::dup2(ends[1], STDOUT_FILENO);
            const std::string program = BuildProgram("selkoran-boardsim");
            ::execl(program.c_str(), program.c_str(), nullptr);
            ::_exit(127);
        }
        ::close(ends[1]);
        char c = 0;
        while (::read(ends[0], &c, 1) == 1 && c != '\n') {
            path += c;
        }
        ::close(ends[0]);
    }
    ~BoardProcess() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    BoardProcess(const BoardProcess&) = delete;
    BoardProcess& operator=(const BoardProcess&) = delete;

    std::string Device() const { return "tty:" + path; }

private:
    pid_t pid = -1;
    std::string path;
};

ChildUsage Record(const std::string& device, std::int64_t count, const std::string& path) {
    return RunChild({BuildProgram("selkoran-cli"), "record", "--device", device, "--rate",
                     std::to_string(static_cast<int>(kTopSamplesPerSecond)), "--channel", "2",
                     "--count", std::to_string(count), "--output", path, "--force"});
}

Rate RecordUnpaced(int chSel, std::int64_t count, const std::string& path) {
    UnpacedRecording recording(chSel, count, path);
    if (!recording.Started()) {
        return {};
    }
    return Measure(count, [&recording] { return recording.Finish(); });
}

// One paced recording on the simulated board in process ("sim") or on a fresh
// selkoran-boardsim (its noise goes on from one recording to the next, so each run starts one).
ChildUsage RecordOn(const std::string& board, std::int64_t count, const std::string& path) {
    if (board == "sim") {
        return Record(board, count, path);
    }
    const BoardProcess process;
    return Record(process.Device(), count, path);
}

int Paced(int runs) {
    const std::string path = TemporaryPath("paced.csv");
    const std::string reference = TemporaryPath("unpaced.csv");
    RecordUnpaced(2, kLongRun, reference);
    for (const std::string board : {"sim", "selkoran-boardsim"}) {
        std::vector<double> shares;
        std::vector<double> peaks;
        for (int run = 0; run < runs; ++run) {
            const ChildUsage usage = RecordOn(board, kLongRun, path);
            const UnpacedRecording::Comparison rows =
                UnpacedRecording::CompareRows(path, reference);
            std::printf(
                "record 2CH x %lld at 31250/s on %s: exit %d, wall %.2f s, CPU %.3f s = %.2f %% "
                "of a core, peak resident %.1f MiB, rows %lld (reference %lld), equal %lld\n",
                static_cast<long long>(kLongRun), board.c_str(), usage.exitCode, usage.wall,
                usage.cpu, 100.0 * usage.cpu / usage.wall, usage.peakMiB,
                static_cast<long long>(rows.rows), static_cast<long long>(rows.referenceRows),
                static_cast<long long>(rows.equal));
            if (usage.exitCode == 0) {
                shares.push_back(100.0 * usage.cpu / usage.wall);
                peaks.push_back(usage.peakMiB);
            }
        }
        std::printf(
            "median on %s: CPU %.2f %% of a core (target < 5 %%), peak %.1f MiB "
            "(target < 40 MiB)\n",
            board.c_str(), Median(shares), Median(peaks));
        const ChildUsage shortRun = RecordOn(board, 10000, path);
        std::printf("record 2CH x 10000 on %s: exit %d, peak resident %.1f MiB\n", board.c_str(),
                    shortRun.exitCode, shortRun.peakMiB);
    }
    std::filesystem::remove(path);
    std::filesystem::remove(reference);
    return 0;
}

// The file writer alone: rows formatted and written as a recording writes them.
Rate WriteRows(std::int64_t count, const std::string& path) {
    RecordingFile file;
    if (file.Create(path, true, Steady::now()) != FileRefusal::None) {
        return {};
    }
    char block[TADC::kMaxBlockRecords * RecordingFormat::kMaxRowLength];
    return Measure(count, [&] {
        for (std::int64_t first = 0; first < count; first += TADC::kMaxBlockRecords) {
            char* end = block;
            for (std::int64_t i = first; i < first + TADC::kMaxBlockRecords; ++i) {
                const auto code = static_cast<std::int32_t>(8388608 + (i * 7919) % 4001 - 2000);
                const RecordingFormat::Cell cells[2] = {
                    {code, static_cast<float>(code) * 0.3f},
                    {code + 5, static_cast<float>(code) * 0.2f}};
                end = RecordingFormat::AppendRow(end, i + 1, cells);
            }
            file.Append(std::string_view(block, static_cast<std::size_t>(end - block)),
                        Steady::now());
            file.Tick(Steady::now());
        }
        return file.Finish();
    });
}

void PrintRate(const char* what, const std::vector<Rate>& rates) {
    std::vector<double> wall;
    std::vector<double> cpu;
    for (const Rate& r : rates) {
        wall.push_back(r.perWallSecond);
        cpu.push_back(r.perCpuSecond);
    }
    std::printf(
        "%s: %.0f samples per CPU second = %.0f x 31250 (target >= 50 x); by the wall "
        "clock %.0f = %.0f x\n",
        what, Median(cpu), Median(cpu) / kTopSamplesPerSecond, Median(wall),
        Median(wall) / kTopSamplesPerSecond);
}

int Unpaced(int runs) {
    const std::string path = TemporaryPath("throughput.csv");
    std::vector<Rate> whole;
    std::vector<Rate> writer;
    for (int run = 0; run < runs; ++run) {
        whole.push_back(RecordUnpaced(2, kLongRun, path));
        writer.push_back(WriteRows(kLongRun, path));
    }
    PrintRate("unpaced recording 2CH x 1048575 (recorder, link and simulated board)", whole);
    PrintRate("file writer alone, 2CH rows", writer);
    std::filesystem::remove(path);
    return 0;
}

int Analyze(std::int64_t count) {
    for (const std::int64_t n : {std::int64_t{100000}, count}) {
        const std::string path = TemporaryPath("analyze.csv");
        if (RecordUnpaced(0, n, path).perWallSecond <= 0.0) {
            std::fprintf(stderr, "the recording of %lld samples failed\n",
                         static_cast<long long>(n));
            return 1;
        }
        const auto bytes = std::filesystem::file_size(path);
        const ChildUsage usage = RunChild({BuildProgram("selkoran-cli"), "analyze", path});
        std::printf(
            "analyze 1CH x %lld (%.0f MB): exit %d, wall %.2f s, CPU %.2f s, peak "
            "resident %.1f MiB\n",
            static_cast<long long>(n), static_cast<double>(bytes) / 1e6, usage.exitCode, usage.wall,
            usage.cpu, usage.peakMiB);
        std::filesystem::remove(path);
    }
    return 0;
}

int ReadBack() {
    const std::string path = TemporaryPath("readback.csv");
    constexpr std::int64_t kCount = 2 * Acquisition::kMaxStartCount;
    constexpr std::int64_t kSpan = 2000;
    UnpacedRecording recording(2, kCount, path);
    if (!recording.Finish()) {
        std::fprintf(stderr, "the recording failed\n");
        return 1;
    }
    std::vector<double> times;
    std::array<std::vector<std::int32_t>, 2> codes;
    bool fAll = true;
    for (std::int64_t first = 1; first + kSpan < kCount; first += kCount / 41) {
        const auto start = Steady::now();
        fAll = recording.Recording().ReadBack(first, first + kSpan, codes) && fAll;
        times.push_back(std::chrono::duration<double, std::milli>(Steady::now() - start).count());
    }
    std::printf(
        "read back %zu stretches of %lld samples (2CH): median %.2f ms, slowest %.2f ms%s\n",
        times.size(), static_cast<long long>(kSpan), Median(times),
        *std::max_element(times.begin(), times.end()), fAll ? "" : ", SOME FAILED");
    std::filesystem::remove(path);
    return fAll ? 0 : 1;
}

// The file types a recording can be written in.
struct FileKind {
    const char* name;
    const char* extension;
    RecordingSink::Type type;
    bool fCompress;
};
constexpr FileKind kKinds[] = {{"CSV", "csv", RecordingSink::Type::Csv, false},
                               {"HDF5", "h5", RecordingSink::Type::Hdf5, false},
                               {"HDF5 compressed", "h5", RecordingSink::Type::Hdf5, true}};

std::string KindPath(const FileKind& kind, const char* name) {
    return TemporaryPath(std::string(name) + (kind.fCompress ? "-packed." : ".") + kind.extension);
}

// h5py loading the whole of /codes, median of 5 loads (the file in the page cache).
std::string H5pyLoad(const std::string& path) {
    const std::string command =
        "/usr/bin/python3 -c 'import h5py, statistics, sys, time\n"
        "times = []\n"
        "for _ in range(5):\n"
        "    with h5py.File(sys.argv[1], \"r\") as f:\n"
        "        t = time.perf_counter(); codes = f[\"codes\"][:]\n"
        "        times.append(time.perf_counter() - t)\n"
        "print(f\"{statistics.median(times) * 1000:.0f} ms for {codes.shape} {codes.dtype}\")' " +
        path;
    std::string result;
    if (FILE* python = ::popen(command.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, python) != nullptr) {
            result += line;
        }
        ::pclose(python);
    }
    return result.empty() ? "failed\n" : result;
}

int Files(std::int64_t count) {
    double csvBytes = 0.0;
    double csvWall = 0.0;
    for (const FileKind& kind : kKinds) {
        const std::string path = KindPath(kind, "files");
        UnpacedRecording recording(2, count, path, kind.type, kind.fCompress);
        if (!recording.Finish()) {
            std::fprintf(stderr, "the %s recording failed\n", kind.name);
            return 1;
        }
        const auto bytes = static_cast<double>(std::filesystem::file_size(path));
        std::vector<double> walls;
        std::vector<double> cpus;
        for (int run = 0; run < 3; ++run) {
            const ChildUsage usage = RunChild({BuildProgram("selkoran-cli"), "analyze", path});
            walls.push_back(usage.exitCode == 0 ? usage.wall : 0.0);
            cpus.push_back(usage.cpu);
        }
        csvBytes = csvBytes > 0.0 ? csvBytes : bytes;
        csvWall = csvWall > 0.0 ? csvWall : Median(walls);
        std::printf(
            "%s, 2CH x %lld: %.1f MB = %.1f %% of the CSV; analyze: wall %.2f s, CPU %.2f s "
            "(medians of 3) = %.1f x faster than the CSV\n",
            kind.name, static_cast<long long>(count), bytes / 1e6, 100.0 * bytes / csvBytes,
            Median(walls), Median(cpus), csvWall / Median(walls));
        if (kind.type == RecordingSink::Type::Hdf5) {
            std::printf("  h5py loading /codes: %s", H5pyLoad(path).c_str());
        }
        std::filesystem::remove(path);
    }
    return 0;
}

int Formats(int runs) {
    std::vector<std::vector<double>> shares(std::size(kKinds));
    for (int run = 0; run < runs; ++run) {
        for (std::size_t k = 0; k < std::size(kKinds); ++k) {
            const std::string path = KindPath(kKinds[k], "formats");
            std::vector<std::string> arguments = {
                BuildProgram("selkoran-cli"),
                "record",
                "--device",
                "sim",
                "--rate",
                std::to_string(static_cast<int>(kTopSamplesPerSecond)),
                "--channel",
                "2",
                "--count",
                std::to_string(kLongRun),
                "--output",
                path,
                "--force"};
            if (kKinds[k].fCompress) {
                arguments.push_back("--compress");
            }
            const ChildUsage usage = RunChild(arguments);
            std::printf(
                "record 2CH x %lld at 31250/s into %s: exit %d, wall %.2f s, CPU %.3f s = "
                "%.2f %% of a core, peak resident %.1f MiB, %.1f MB\n",
                static_cast<long long>(kLongRun), kKinds[k].name, usage.exitCode, usage.wall,
                usage.cpu, 100.0 * usage.cpu / usage.wall, usage.peakMiB,
                static_cast<double>(std::filesystem::file_size(path)) / 1e6);
            if (usage.exitCode == 0) {
                shares[k].push_back(100.0 * usage.cpu / usage.wall);
            }
            std::filesystem::remove(path);
        }
    }
    for (std::size_t k = 0; k < std::size(kKinds); ++k) {
        std::printf("median into %s: CPU %.2f %% of a core\n", kKinds[k].name, Median(shares[k]));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const long number = argc > 2 ? std::atol(argv[2]) : 0;
    if (mode == "paced") {
        return Paced(number > 0 ? static_cast<int>(number) : 3);
    }
    if (mode == "unpaced") {
        return Unpaced(number > 0 ? static_cast<int>(number) : 5);
    }
    if (mode == "analyze") {
        return Analyze(number > 0 ? number : 10000000);
    }
    if (mode == "readback") {
        return ReadBack();
    }
    if (mode == "files") {
        return Files(number > 0 ? number : 10000000);
    }
    if (mode == "formats") {
        return Formats(number > 0 ? static_cast<int>(number) : 3);
    }
    std::fprintf(stderr,
                 "usage: bench_record paced [runs] | unpaced [runs] | analyze [count] | "
                 "readback | files [count] | formats [runs]\n");
    return 2;
}
