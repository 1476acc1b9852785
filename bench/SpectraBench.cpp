// SPDX-License-Identifier: GPL-3.0-or-later
// The dynamic figures of 10^6 samples, the log-frequency spectrum and the 0.1–10 Hz noise of
// 10^7, each beside numpy and scipy doing the same steps on the same codes
// (bench/spectra_reference.py, /usr/bin/python3), in one run: wall and CPU time (medians), and
// the figures of both side by side.
// Usage: bench_spectra [repetitions of each, default 5]

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/DynamicFigures.h"
#include "analysis/LogFrequencySpectrum.h"
#include "analysis/LowFrequencyNoise.h"
#include "common/Codes.h"

namespace {

constexpr double kRate = 31250.0;
constexpr std::size_t kSineSamples = 1000000;
constexpr std::size_t kNoiseSamples = 10000000;
constexpr double kNoiseMicrovolts = 5.0;  // the board's rms at the top rate

struct Timing {
    double wall = 0.0;
    double cpu = 0.0;
};

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

template <typename Work>
Timing Timed(int repetitions, Work work) {
    std::vector<double> walls;
    std::vector<double> cpus;
    for (int i = 0; i < repetitions; ++i) {
        const auto wall = std::chrono::steady_clock::now();
        const double cpu = CpuSeconds();
        work();
        cpus.push_back(CpuSeconds() - cpu);
        walls.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count());
    }
    return {Median(walls), Median(cpus)};
}

std::int32_t Code(double microvolts) {
    return kMidScaleCode + static_cast<std::int32_t>(std::lround(microvolts / kMicrovoltsPerCode));
}

// 1 V peak at 1000.3 Hz with its second and third harmonic at −80 and −90 dBc, over the
// board's white noise.
std::vector<std::int32_t> SineCodes() {
    std::mt19937_64 random(1);
    std::normal_distribution<double> noise(0.0, kNoiseMicrovolts);
    std::vector<std::int32_t> codes(kSineSamples);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const double phase = 2.0 * std::numbers::pi * 1000.3 * static_cast<double>(i) / kRate;
        codes[i] = Code(1e6 * (std::sin(phase) + 1e-4 * std::sin(2 * phase) +
                               std::pow(10.0, -4.5) * std::sin(3 * phase)) +
                        noise(random));
    }
    return codes;
}

// The board's white noise and 1/f noise that meets it near 1 Hz: first-order low-passes
// y[n] = p y[n-1] + g e[n], a corner a decade from 0.01 Hz to 100 Hz, each of low-frequency
// density ∝ 1 / corner, whose sum is close to kFlickerLevel / f.
std::vector<std::int32_t> NoiseCodes() {
    const double white = kNoiseMicrovolts * kNoiseMicrovolts / (kRate / 2.0);  // µV²/Hz
    std::mt19937_64 random(2);
    std::normal_distribution<double> normal;
    std::vector<double> poles;
    std::vector<double> gains;
    for (double corner = 0.01; corner <= 100.0; corner *= 10.0) {
        const double pole = std::exp(-2.0 * std::numbers::pi * corner / kRate);
        // Σ (c / f_i) / (1 + (f / f_i)²), one f_i a decade, is c π / (2 ln 10) / f.
        const double low = white * 2.0 * std::log(10.0) / std::numbers::pi / corner;
        poles.push_back(pole);
        gains.push_back((1.0 - pole) * std::sqrt(low * kRate / 2.0));
    }
    std::vector<double> states(poles.size(), 0.0);
    std::vector<std::int32_t> codes(kNoiseSamples);
    for (std::int32_t& code : codes) {
        double uv = kNoiseMicrovolts * normal(random);
        for (std::size_t j = 0; j < poles.size(); ++j) {
            states[j] = poles[j] * states[j] + gains[j] * normal(random);
            uv += states[j];
        }
        code = Code(uv);
    }
    return codes;
}

std::string WriteCodes(const std::filesystem::path& path, const std::vector<std::int32_t>& codes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(codes.data()),
               static_cast<std::streamsize>(codes.size() * sizeof(std::int32_t)));
    return path.string();
}

// What the reference printed: its times, figures and log-frequency points.
struct Reference {
    std::map<std::string, Timing> times;
    std::map<std::string, double> figures;
    std::vector<std::vector<double>> points;  // frequency, nV/√Hz, averages
};

Reference RunReference(const std::string& sine, const std::string& noise, int repetitions) {
    const std::string command =
        "/usr/bin/python3 " SELKORAN_SOURCE_DIR "/bench/spectra_reference.py " + sine + " " +
        noise + " " + std::to_string(kRate) + " " + std::to_string(repetitions);
    Reference reference;
    FILE* python = ::popen(command.c_str(), "r");
    if (python == nullptr) {
        return reference;
    }
    char line[512];
    while (std::fgets(line, sizeof line, python) != nullptr) {
        std::istringstream in(line);
        std::string kind;
        std::string name;
        in >> kind;
        if (kind == "time") {
            Timing t;
            in >> name >> t.wall >> t.cpu;
            reference.times[name] = t;
        } else if (kind == "figure") {
            in >> name >> reference.figures[name];
        } else if (kind == "point") {
            std::vector<double> point(3);
            in >> point[0] >> point[1] >> point[2];
            reference.points.push_back(point);
        }
    }
    ::pclose(python);
    return reference;
}

void PrintTime(const char* what, const Timing& ours, const Timing& theirs) {
    std::printf("%-42s %9.1f %9.1f %9.1f %9.1f   %5.2f\n", what, 1e3 * ours.wall, 1e3 * ours.cpu,
                1e3 * theirs.wall, 1e3 * theirs.cpu, theirs.cpu / ours.cpu);
}

void PrintFigure(const char* name, double ours, double theirs) {
    std::printf("%-32s %22.12g %22.12g   %.2g\n", name, ours, theirs, ours - theirs);
}

// The largest relative difference of the densities at the same frequencies, and how many
// points each has.
void PrintPoints(const LogNoiseSpectrum& ours, const std::vector<std::vector<double>>& theirs) {
    double worst = 0.0;
    std::size_t matched = 0;
    for (const auto& point : theirs) {
        for (std::size_t k = 0; k < ours.frequencyHz.size(); ++k) {
            if (std::abs(ours.frequencyHz[k] / point[0] - 1.0) < 1e-9) {
                worst = std::max(worst, std::abs(ours.nanovoltsPerRootHz[k] / point[1] - 1.0));
                ++matched;
            }
        }
    }
    std::printf(
        "log-frequency points: %zu here, %zu in numpy, %zu at the same frequencies, "
        "largest relative difference %.2g; from %.4g Hz; 1/f corner %.4g Hz\n",
        ours.frequencyHz.size(), theirs.size(), matched, worst,
        ours.frequencyHz.empty() ? 0.0 : ours.frequencyHz.front(),
        ours.flickerCornerHz.value_or(0.0));
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(std::atoi(argv[1]), 1) : 5;
    const std::vector<std::int32_t> sine = SineCodes();
    const std::vector<std::int32_t> noise = NoiseCodes();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench_spectra." + std::to_string(::getpid()));
    std::filesystem::create_directory(folder);

    DynamicFigures dynamic;
    LogNoiseSpectrum logSpectrum;
    std::optional<LowFrequencyNoiseFigures> band;
    const Timing dynamicTime =
        Timed(repetitions, [&] { dynamic = DynamicFigures::Compute(sine, kRate); });
    const Timing logTime =
        Timed(repetitions, [&] { logSpectrum = LogFrequencySpectrum::Compute(noise, kRate); });
    const Timing bandTime =
        Timed(repetitions, [&] { band = LowFrequencyNoise::Compute(noise, kRate); });
    const Reference reference = RunReference(WriteCodes(folder / "sine.i32", sine),
                                             WriteCodes(folder / "noise.i32", noise), repetitions);
    std::filesystem::remove_all(folder);
    if (!dynamic.sine || !band || reference.times.size() != 3) {
        std::fprintf(stderr, "no figures to compare (numpy and scipy for /usr/bin/python3?)\n");
        return 1;
    }

    std::printf("%-42s %9s %9s %9s %9s   %5s\n", "median ms", "wall", "CPU", "numpy", "CPU",
                "ratio");
    PrintTime("dynamic figures, 10^6 samples", dynamicTime, reference.times.at("dynamic"));
    PrintTime("log-frequency spectrum, 10^7 samples", logTime, reference.times.at("logSpectrum"));
    PrintTime("0.1-10 Hz noise, 10^7 samples", bandTime, reference.times.at("bandNoise"));
    std::printf("(ratio: numpy's CPU time over ours)\n\n%-32s %22s %22s   %s\n", "figure", "ours",
                "numpy/scipy", "difference");
    const SineFigures& s = *dynamic.sine;
    const auto& r = reference.figures;
    PrintFigure("fundamentalHz", s.fundamentalHz, r.at("fundamentalHz"));
    PrintFigure("fundamentalDbfs", s.fundamentalDbfs, r.at("fundamentalDbfs"));
    PrintFigure("snrDb", *s.snrDb, r.at("snrDb"));
    PrintFigure("thdDb", *s.thdDb, r.at("thdDb"));
    PrintFigure("sinadDb", *s.sinadDb, r.at("sinadDb"));
    PrintFigure("sfdrDb", *s.sfdrDb, r.at("sfdrDb"));
    PrintFigure("enobBits", *s.enobBits, r.at("enobBits"));
    PrintFigure("hd2Dbc", s.harmonics.front().dbc, r.at("hd2Dbc"));
    PrintFigure("sine fit Hz", s.fit->frequencyHz, r.at("fitHz"));
    PrintFigure("sine fit sinadDb", *s.fit->sinadDb, r.at("fitSinadDb"));
    PrintFigure("0.1-10 Hz rms uV", band->rmsMicrovolts, r.at("bandRmsMicrovolts"));
    PrintFigure("0.1-10 Hz p-p max uV", band->peakToPeakMaxMicrovolts,
                r.at("bandPeakToPeakMaxMicrovolts"));
    PrintFigure("0.1-10 Hz p-p median uV", band->peakToPeakMedianMicrovolts,
                r.at("bandPeakToPeakMedianMicrovolts"));
    PrintFigure("0.1-10 Hz windows", static_cast<double>(band->windows), r.at("bandWindows"));
    PrintPoints(logSpectrum, reference.points);
    return 0;
}
