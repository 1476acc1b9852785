// SPDX-License-Identifier: GPL-3.0-or-later
// The recording window on the simulated board in real time, from the process's own CPU time
// (user + system; the machine may be shared):
//   bench_recording_window top       1,048,575 two-channel samples at 31250/s (33.6 s) with the
//                                    chart and the figures: CPU share, every row against an
//                                    unpaced recording of the same seed, the chart's redraw at
//                                    that length, resident memory
//   bench_recording_window slow [s]  1.25 samples per second for `s` seconds (default 20), the
//                                    chart redrawn on each sample: CPU share
//   bench_recording_window envelope  heap taken by the chart's envelope and by the recorder's
//                                    file index of 10^6 and 10^7 samples against the samples'
//                                    own size

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Program.h"
#include "app/ProgramStart.h"
#include "app/RecordingWindow.h"
#include "app/Selkoran_main.h"
#include "bench/ProcessUsage.h"
#include "bench/UnpacedRecording.h"
#include "link/driver/SimulatedFifo.h"
#include "record/RecordingIndex.h"
#include "tests/fakes/FakePrompts.h"

namespace {

using Steady = std::chrono::steady_clock;

constexpr int kSlowestRate = 0;
constexpr std::int64_t kTopRunSamples = Acquisition::kMaxStartCount;

std::string TemporaryPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("selkoran-bench-" + std::to_string(::getpid()) + '-' + name))
        .string();
}

double SecondsSince(Steady::time_point t) {
    return std::chrono::duration<double>(Steady::now() - t).count();
}

double PeakMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void RunEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The main window on the simulated board in real time with its recording window open.
struct RecordingScene {
    explicit RecordingScene(const std::string& file) : program(fifo, prompts) {
        window.show();
        window.LongRecording1Click();
        recording = window.Recording();
        recording->FileEdit->setText(QString::fromStdString(file));
        RunEventLoopFor(500);
    }
    void Start(int spsSel, int chSel, std::int64_t count) {
        recording->RateBox->setCurrentIndex(spsSel);
        recording->ChannelBox->setCurrentIndex(chSel);
        recording->CountEdit->setValue(static_cast<int>(count));
        recording->StartBtnClick();
    }
    SimulatedFifo fifo;
    FakePrompts prompts;
    Program program;
    TFormMain& window = program.Window();
    RecordingWindow* recording = nullptr;
};

// The chart drawn again and painted, median of 21.
double RedrawMs(RecordingChart& chart) {
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
        const auto t0 = Steady::now();
        chart.Refresh();
        chart.repaint();
        times.push_back(SecondsSince(t0) * 1e3);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int Top() {
    const std::string path = TemporaryPath("window.csv");
    const std::string reference = TemporaryPath("unpaced.csv");
    RecordingScene scene(path);
    const double cpu0 = ProcessUsage::CpuSeconds();
    const auto t0 = Steady::now();
    scene.Start(UnpacedRecording::kTopRate, 2, kTopRunSamples);
    while (scene.recording->Recording()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double cpu = ProcessUsage::CpuSeconds() - cpu0;
    const double wall = SecondsSince(t0);
    const long residentKiB = ProcessUsage::ResidentKiB();
    const double redraw = RedrawMs(scene.recording->Chart());
    const std::size_t points = scene.recording->Chart().PointsDrawn(0);

    UnpacedRecording unpaced(2, kTopRunSamples, reference);
    const bool fReference = unpaced.Finish();
    const auto rows = UnpacedRecording::CompareRows(path, reference);
    std::printf(
        "recording window, 2CH x %lld at 31250/s: wall %.2f s, CPU %.3f s = %.2f %% of a core "
        "(target < 10 %%)\n",
        static_cast<long long>(kTopRunSamples), wall, cpu, 100.0 * cpu / wall);
    std::printf("rows: %lld of %lld equal to the unpaced recording of the same seed (%lld rows)\n",
                static_cast<long long>(rows.equal), static_cast<long long>(rows.rows),
                static_cast<long long>(rows.referenceRows));
    std::printf(
        "chart redraw at %lld samples: %.3f ms median of 21, %zu points per channel "
        "(target < 5 ms)\n",
        static_cast<long long>(scene.recording->View().Envelope(0).Count()), redraw, points);
    std::printf(
        "resident memory after the recording %.1f MiB, peak %.1f MiB (target < 60 MiB); "
        "%zu boxes\n",
        static_cast<double>(residentKiB) / 1024.0, PeakMiB(), scene.prompts.boxes.size());
    std::filesystem::remove(path);
    std::filesystem::remove(reference);
    const bool fComplete = fReference && rows.rows == kTopRunSamples &&
                           rows.equal == kTopRunSamples && rows.referenceRows == kTopRunSamples;
    return fComplete ? 0 : 1;
}

int Slow(int seconds) {
    const std::string path = TemporaryPath("slow.csv");
    RecordingScene scene(path);
    scene.Start(kSlowestRate, 0, 1000);
    RunEventLoopFor(1000);  // past the start
    const double cpu0 = ProcessUsage::CpuSeconds();
    const ProcessUsage::Wakes wakes0 = ProcessUsage::CountWakes();
    const auto t0 = Steady::now();
    RunEventLoopFor(seconds * 1000);
    const double cpu = ProcessUsage::CpuSeconds() - cpu0;
    const ProcessUsage::Wakes wakes = ProcessUsage::CountWakes() - wakes0;
    const double wall = SecondsSince(t0);
    const bool fRecording = scene.recording->Recording();
    const std::int64_t samples = scene.recording->View().Envelope(0).Count();
    const std::size_t drawn = scene.recording->Chart().PointsDrawn(0);
    scene.recording->StartBtnClick();
    std::filesystem::remove(path);
    std::printf(
        "recording window at 1.25/s: %lld samples, %zu drawn, CPU %.4f s over %.2f s = %.4f %% "
        "of a core (target < 0.2 %%); %s\n",
        static_cast<long long>(samples), drawn, cpu, wall, 100.0 * cpu / wall,
        ProcessUsage::WakesText(wakes, wall).c_str());
    return fRecording ? 0 : 1;
}

// Heap bytes in use, as the allocator counts them (large blocks are mapped apart).
std::size_t HeapBytes() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The recorder's index of where each stretch of samples starts in the file (a row of 40 bytes).
void IndexOf(std::int64_t count) {
    const std::size_t before = HeapBytes();
    RecordingIndex index;
    index.Begin("recording.csv", {0});
    for (std::int64_t sample = 0; sample < count; sample += RecordingIndex::kStride) {
        index.Note(sample, static_cast<std::uint64_t>(sample) * 40);
    }
    const auto bytes = static_cast<double>(HeapBytes() - before);
    const double own = static_cast<double>(count) * sizeof(std::int32_t);
    std::printf("file index of %lld samples: %.1f KiB = 1/%.0f of one channel's samples\n",
                static_cast<long long>(count), bytes / 1024.0, own / bytes);
}

int Envelope() {
    for (const std::int64_t count : {std::int64_t{1000000}, std::int64_t{10000000}}) {
        const std::size_t before = HeapBytes();
        auto envelope = std::make_unique<SampleEnvelope>();
        const std::size_t recent = HeapBytes() - before;  // the fixed store of recent samples
        std::vector<std::int32_t> block(100);
        for (std::int64_t n = 0; n < count; n += 100) {
            for (std::size_t i = 0; i < block.size(); ++i) {
                block[i] =
                    static_cast<std::int32_t>((n + static_cast<std::int64_t>(i)) * 7919 % 16777216);
            }
            envelope->Add(block);
        }
        const std::size_t levels = HeapBytes() - before - recent;
        const double own = static_cast<double>(count) * sizeof(std::int32_t);
        std::printf(
            "envelope of %lld samples: levels %.1f KiB = 1/%.1f of the samples' %.1f MiB "
            "(target <= 1/16); fixed recent store %.1f KiB\n",
            static_cast<long long>(count), static_cast<double>(levels) / 1024.0,
            own / static_cast<double>(levels), own / (1024.0 * 1024.0),
            static_cast<double>(recent) / 1024.0);
        IndexOf(count);
    }
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: bench_recording_window top | slow [seconds] | envelope\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc < 2) {
        return Usage();
    }
    const std::string mode = argv[1];
    if (mode == "envelope") {
        return Envelope();
    }
    ChooseEventLoop();  // as the program does
    QApplication app(argc, argv);
    if (mode == "top") {
        return Top();
    }
    if (mode == "slow") {
        return Slow(argc >= 3 ? std::atoi(argv[2]) : 20);
    }
    return Usage();
}
