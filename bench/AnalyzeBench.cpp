// SPDX-License-Identifier: GPL-3.0-or-later
// `selkoran-cli analyze` of long recordings as the user runs it, beside numpy and scipy and
// beside another build of the program (the commit before a change), in one run, turn about:
//   bench_analyze versus FOLDER [OTHER-BUILD] [rounds]
//       a two-channel recording of 10^7 samples (made unpaced into FOLDER once, as HDF5 and as
//       CSV): analyze of the HDF5 file by this build, by OTHER-BUILD and by
//       bench/recording_reference.py (h5py, numpy, scipy), then of the CSV file by both builds,
//       `rounds` times (default 3) in turn: wall and CPU time, peak resident memory, medians;
//       the CSV parsed alone (MB/s); both builds' lines and JSON compared byte for byte, and
//       the figures beside numpy's
//   bench_analyze long FOLDER [OTHER-BUILD] [count]
//       a one-channel recording of `count` samples (default 10^8, 53 minutes at 31250/s) and
//       one of a tenth of it: analyze by both builds, wall, CPU and peak memory; then the
//       analysis in child processes of this benchmark with the codes in memory and with them
//       in the temporary file (a budget of 64 MiB): wall, CPU, peak memory, and the figures of
//       both compared to the last bit

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "analysis/NoiseFigureTable.h"
#include "bench/ProcessUsage.h"
#include "bench/UnpacedRecording.h"
#include "record/RecordingAnalysis.h"
#include "record/RecordingReader.h"

namespace {

using ProcessUsage::ChildUsage;
using ProcessUsage::RunChild;

constexpr std::int64_t kTwoChannelCount = 10000000;
constexpr std::int64_t kLongCount = 100000000;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0.0 : n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// The recording at `path`, made unpaced on the simulated board unless it is there already.
bool Recording(const std::string& path, int chSel, std::int64_t count, RecordingSink::Type type) {
    if (std::filesystem::exists(path)) {
        return true;
    }
    std::printf("making %s ...\n", path.c_str());
    std::fflush(stdout);
    UnpacedRecording recording(chSel, count, path + ".part", type);
    if (!recording.Finish()) {
        return false;
    }
    std::filesystem::rename(path + ".part", path);
    return true;
}

// A program analysing a file, timed over the rounds.
struct Contender {
    Contender(std::string contenderName, std::vector<std::string> command)
        : name(std::move(contenderName)), arguments(std::move(command)) {}

    std::string name;
    std::vector<std::string> arguments;  // the file follows them
    std::vector<double> walls;
    std::vector<double> cpus;
    std::vector<double> peaks;
    std::string output;  // of the last run

    void Run(const std::string& file) {
        std::vector<std::string> command = arguments;
        command.push_back(file);
        const ChildUsage usage = RunChild(command, &output);
        if (usage.exitCode != 0) {
            std::printf("%s: exit code %d\n", name.c_str(), usage.exitCode);
        }
        walls.push_back(usage.wall);
        cpus.push_back(usage.cpu);
        peaks.push_back(usage.peakMiB);
    }
    void Print(double reference) const {
        std::printf("  %-28s wall %7.3f s  CPU %7.3f s  peak %7.1f MiB", name.c_str(),
                    Median(walls), Median(cpus), Median(peaks));
        if (reference > 0.0) {
            std::printf("  %6.2f x this build's wall", Median(walls) / reference);
        }
        std::printf("   (walls:");
        for (const double w : walls) {
            std::printf(" %.3f", w);
        }
        std::printf(")\n");
    }
};

std::vector<std::string> Analyze(const std::string& build, bool fJson = false) {
    std::vector<std::string> command = {build + "/selkoran-cli", "analyze"};
    if (fJson) {
        command.push_back("--json");
    }
    return command;
}

// Every contender analyses `file` once per round, in an order that turns each round.
void Rounds(std::vector<Contender>& contenders, const std::string& file, int rounds) {
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < contenders.size(); ++i) {
            contenders[(i + static_cast<std::size_t>(round)) % contenders.size()].Run(file);
        }
    }
}

// The lines of two outputs that differ, counted.
std::size_t DifferingLines(const std::string& a, const std::string& b) {
    std::istringstream inA(a);
    std::istringstream inB(b);
    std::size_t differ = 0;
    std::string lineA;
    std::string lineB;
    for (;;) {
        const bool fA = static_cast<bool>(std::getline(inA, lineA));
        const bool fB = static_cast<bool>(std::getline(inB, lineB));
        if (!fA && !fB) {
            return differ;
        }
        differ += !(fA && fB && lineA == lineB);
    }
}

void CompareOutputs(const std::string& file, const std::string& other) {
    for (const bool fJson : {false, true}) {
        std::string ours;
        std::string theirs;
        std::vector<std::string> a = Analyze(SELKORAN_BUILD_DIR, fJson);
        std::vector<std::string> b = Analyze(other, fJson);
        a.push_back(file);
        b.push_back(file);
        RunChild(a, &ours);
        RunChild(b, &theirs);
        std::printf("  %s of both builds: %zu bytes, %s (%zu lines differ)\n",
                    fJson ? "--json" : "lines", ours.size(),
                    ours == theirs && !ours.empty() ? "identical" : "DIFFERENT",
                    DifferingLines(ours, theirs));
    }
}

// numpy's figures (figure CHANNEL NAME VALUE) and steps' times (time STEP SECONDS).
void PrintReference(const std::string& output) {
    std::istringstream in(output);
    std::string kind;
    std::printf("  numpy and scipy (last run):");
    while (in >> kind) {
        std::string rest;
        std::getline(in, rest);
        if (kind == "time") {
            std::printf(" %s s;", rest.c_str() + 1);
        }
    }
    std::printf("\n");
}

void PrintOurFigures(const std::string& lines) {
    std::istringstream in(lines);
    std::string line;
    for (const char* name :
         {"ノイズ実効値", "ホワイトノイズ密度", "アラン偏差の最小値", "0.1–10 Hz ノイズ (rms)"}) {
        in.clear();
        in.seekg(0);
        while (std::getline(in, line)) {
            if (line.find(name) != std::string::npos) {
                std::printf("    %s\n", line.c_str());
            }
        }
    }
}

void PrintNumpyFigures(const std::string& output) {
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        for (const char* name : {" rmsMicrovolts ", " whiteNoiseNanovoltsPerRootHz ",
                                 " allanMinimumMicrovolts ", " bandRmsMicrovolts "}) {
            if (line.starts_with("figure") && line.find(name) != std::string::npos) {
                std::printf("    numpy %s\n", line.c_str() + 7);
            }
        }
    }
}

// The CSV parsed alone into a sink that keeps nothing: MB per second, median of three.
void ParseRate(const std::string& csv) {
    const auto bytes = static_cast<double>(std::filesystem::file_size(csv));
    std::vector<double> rates;
    for (int run = 0; run < 3; ++run) {
        RecordingReader::Contents contents;
        std::int64_t codes = 0;
        const auto t0 = std::chrono::steady_clock::now();
        const bool fRead = RecordingReader::Read(
            csv, contents,
            [&codes](std::span<const std::int32_t> ch0, std::span<const std::int32_t> ch1) {
                codes += static_cast<std::int64_t>(ch0.size() + ch1.size());
                return true;
            });
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        rates.push_back(fRead ? bytes / seconds / 1e6 : 0.0);
    }
    std::printf("  CSV parsed alone (%.0f MB): %.0f MB/s (median of 3; target >= 100)\n",
                bytes / 1e6, Median(rates));
}

int Versus(const std::string& folder, const std::string& other, int rounds) {
    const std::string h5 = folder + "/two-1e7.h5";
    const std::string csv = folder + "/two-1e7.csv";
    if (!Recording(h5, 2, kTwoChannelCount, RecordingSink::Type::Hdf5) ||
        !Recording(csv, 2, kTwoChannelCount, RecordingSink::Type::Csv)) {
        std::fprintf(stderr, "the recordings could not be made\n");
        return 1;
    }
    std::vector<Contender> hdf5 = {{"this build", Analyze(SELKORAN_BUILD_DIR)}};
    std::vector<Contender> table = {{"this build", Analyze(SELKORAN_BUILD_DIR)}};
    if (!other.empty()) {
        hdf5.push_back({"other build", Analyze(other)});
        table.push_back({"other build", Analyze(other)});
    }
    hdf5.push_back({"numpy and scipy",
                    {"/usr/bin/python3", SELKORAN_SOURCE_DIR "/bench/recording_reference.py"}});
    Rounds(hdf5, h5, rounds);
    Rounds(table, csv, rounds);
    const double ours = Median(hdf5.front().walls);
    std::printf("analyze of 2CH x 10^7, HDF5 (%.0f MB), medians of %d:\n",
                static_cast<double>(std::filesystem::file_size(h5)) / 1e6, rounds);
    for (const Contender& c : hdf5) {
        c.Print(ours);
    }
    PrintReference(hdf5.back().output);
    std::printf("analyze of the same as CSV (%.0f MB), medians of %d:\n",
                static_cast<double>(std::filesystem::file_size(csv)) / 1e6, rounds);
    for (const Contender& c : table) {
        c.Print(Median(table.front().walls));
    }
    ParseRate(csv);
    std::printf("figures of this build (HDF5), beside numpy's:\n");
    PrintOurFigures(hdf5.front().output);
    PrintNumpyFigures(hdf5.back().output);
    std::printf("this build's HDF5 and CSV lines: %s\n",
                hdf5.front().output == table.front().output ? "identical" : "DIFFERENT");
    if (!other.empty()) {
        std::printf("this build against the other, HDF5:\n");
        CompareOutputs(h5, other);
        std::printf("this build against the other, CSV:\n");
        CompareOutputs(csv, other);
    }
    return 0;
}

// The child's part: every figure of `file` with `budget` bytes of codes in memory, printed to
// the last bit (%a).
int Figures(const std::string& file, std::size_t budget) {
    RecordingAnalysis::Failure failure{};
    const auto recording =
        RecordingAnalysis::Analyse({.path = file, .memoryBudget = budget}, &failure);
    if (!recording) {
        return 1;
    }
    for (const RecordingAnalysis::Channel& c : recording->channels) {
        for (const NoiseFigure& row : NoiseFigureTable::Rows(*c.analysis)) {
            std::printf("%s %a\n", row.name.c_str(), row.value.value_or(0.0));
        }
        for (const double d : c.analysis->allan.deviationMicrovolts) {
            std::printf("allan %a\n", d);
        }
    }
    return 0;
}

// The recording's figures in a child with the codes in memory and in one with them in the file.
void StreamingAgainstMemory(const std::string& file) {
    constexpr std::size_t kFileBudget = std::size_t{64} << 20;
    std::string inMemory;
    std::string streamed;
    const ChildUsage memory = RunChild(
        {"/proc/self/exe", "figures", file, std::to_string(std::size_t{2} << 30)}, &inMemory);
    const ChildUsage stream =
        RunChild({"/proc/self/exe", "figures", file, std::to_string(kFileBudget)}, &streamed);
    std::printf("  in memory (2 GiB budget)    wall %7.3f s  CPU %7.3f s  peak %7.1f MiB\n",
                memory.wall, memory.cpu, memory.peakMiB);
    std::printf("  in the file (64 MiB budget) wall %7.3f s  CPU %7.3f s  peak %7.1f MiB\n",
                stream.wall, stream.cpu, stream.peakMiB);
    std::printf("  figures of both, to the last bit: %s (%zu lines differ)\n",
                memory.exitCode == 0 && stream.exitCode == 0 && inMemory == streamed ? "identical"
                                                                                     : "DIFFERENT",
                DifferingLines(inMemory, streamed));
}

int Long(const std::string& folder, const std::string& other, std::int64_t count) {
    for (const std::int64_t n : {count / 10, count}) {
        const std::string h5 = folder + "/one-" + std::to_string(n) + ".h5";
        if (!Recording(h5, 0, n, RecordingSink::Type::Hdf5)) {
            std::fprintf(stderr, "the recording could not be made\n");
            return 1;
        }
        std::vector<Contender> contenders = {{"this build", Analyze(SELKORAN_BUILD_DIR)}};
        if (!other.empty()) {
            contenders.push_back({"other build", Analyze(other)});
        }
        Rounds(contenders, h5, 1);
        std::printf("analyze of 1CH x %lld, HDF5 (%.0f MB):\n", static_cast<long long>(n),
                    static_cast<double>(std::filesystem::file_size(h5)) / 1e6);
        for (const Contender& c : contenders) {
            c.Print(Median(contenders.front().walls));
        }
        if (!other.empty()) {
            std::printf("  lines of both builds: %s\n",
                        contenders[0].output == contenders[1].output ? "identical" : "DIFFERENT");
        }
        StreamingAgainstMemory(h5);
    }
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_analyze versus FOLDER [OTHER-BUILD] [rounds] | long FOLDER "
                 "[OTHER-BUILD] [count]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return Usage();
    }
    const std::string mode = argv[1];
    if (mode == "figures" && argc > 3) {
        return Figures(argv[2], std::stoull(argv[3]));
    }
    const std::string folder = argv[2];
    const std::string other = argc > 3 ? argv[3] : "";
    std::filesystem::create_directories(folder);
    if (mode == "versus") {
        return Versus(folder, other, argc > 4 ? std::max(std::atoi(argv[4]), 1) : 3);
    }
    if (mode == "long") {
        return Long(folder, other, argc > 4 ? std::atoll(argv[4]) : kLongCount);
    }
    return Usage();
}
