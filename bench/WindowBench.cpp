// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-window figures from the process's own CPU time: an idle window, real-time runs at the
// board's slowest and top rates, and the start-up time to the first drawn graph.
//   bench_window idle [seconds]   CPU share of a window that waits for the operator
//   bench_window slow [seconds]   CPU share of a run at 1.25 samples per second (default 20 s)
//   bench_window run              two channels, 10000 samples at 31250 per second
//   bench_window startup          process start to the first painted graph, resident memory
//   bench_window analyse FILE     the analysis window analysing a recording, and the same
//                                 analysis run in the window's thread as it was before: timer
//                                 events handled meanwhile

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/NoiseAnalysisWindow.h"
#include "app/Program.h"
#include "app/ProgramStart.h"
#include "app/QtPrompts.h"
#include "app/Selkoran_main.h"
#include "app/SingleInstance.h"
#include "bench/ProcessUsage.h"
#include "bench/UnpacedAcquisition.h"
#include "charts/PaintBox.h"
#include "common/ChannelSeries.h"
#include "link/driver/SimulatedFifo.h"
#include "record/RecordingAnalysis.h"
#include "status/Mystatus.h"
#include "tests/fakes/FakePrompts.h"

namespace {

using Steady = std::chrono::steady_clock;

constexpr int kSlowestRateIndex = 0;
constexpr int kTopRateIndex = 16;
constexpr int kThousandIndex = 3;
constexpr int kLargestCountIndex = 6;
constexpr int kBothChannels = 2;
constexpr int kRunSamples = 10000;
constexpr double kStreamingSeconds = kRunSamples / 31250.0;

double SecondsSince(Steady::time_point t) {
    return std::chrono::duration<double>(Steady::now() - t).count();
}

void RunEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window on the simulated board in real time, shown and past its first idle call.
struct WindowScene {
    explicit WindowScene(BoardOptions options = {})
        : fifo(std::move(options)), program(fifo, prompts) {
        window.show();
        RunEventLoopFor(500);
    }
    SimulatedFifo fifo;
    FakePrompts prompts;
    Program program;
    TFormMain& window = program.Window();
};

int Idle(int seconds) {
    WindowScene scene;
    const double cpu0 = ProcessUsage::CpuSeconds();
    const ProcessUsage::Wakes wakes0 = ProcessUsage::CountWakes();
    const auto t0 = Steady::now();
    RunEventLoopFor(seconds * 1000);
    const double cpu = ProcessUsage::CpuSeconds() - cpu0;
    const ProcessUsage::Wakes wakes = ProcessUsage::CountWakes() - wakes0;
    const double wall = SecondsSince(t0);
    std::printf("idle window: %.4f s CPU over %.2f s = %.4f %% of a core (target 0.0 %%); %s\n",
                cpu, wall, 100.0 * cpu / wall, ProcessUsage::WakesText(wakes, wall).c_str());
    return 0;
}

// A run at 1.25 samples per second (1000 samples, CH0) for `seconds`, then stopped.
int Slow(int seconds) {
    WindowScene scene;
    TFormMain& window = scene.window;
    window.ComboBox1->setCurrentIndex(kSlowestRateIndex);
    window.ComboBox2->setCurrentIndex(kThousandIndex);
    window.MeasureBtn->click();
    const double cpu0 = ProcessUsage::CpuSeconds();
    const ProcessUsage::Wakes wakes0 = ProcessUsage::CountWakes();
    const auto t0 = Steady::now();
    RunEventLoopFor(seconds * 1000);
    const double cpu = ProcessUsage::CpuSeconds() - cpu0;
    const ProcessUsage::Wakes wakes = ProcessUsage::CountWakes() - wakes0;
    const double wall = SecondsSince(t0);
    const bool fRunning = window.Measuring();
    const QString progress = TmyStatus::Panel(*window.StatusBar1, 2)->text();
    window.MeasureBtn->click();
    std::printf(
        "window run at 1.25/s: \"%s\", CPU %.4f s over %.2f s = %.4f %% of a core "
        "(target < 0.1 %%); %s\n",
        progress.toUtf8().constData(), cpu, wall, 100.0 * cpu / wall,
        ProcessUsage::WakesText(wakes, wall).c_str());
    return fRunning ? 0 : 1;
}

// Samples the window holds that differ from an unpaced run of a simulator with the same seed.
int CountMismatches(const TFormMain& window) {
    static ChannelBuffer ch0;
    static ChannelBuffer ch1;
    UnpacedAcquisition reference;
    if (!reference.Acquire(
            {.settings = {.spsSel = kTopRateIndex, .CHSel = kBothChannels}, .count = kRunSamples},
            ch0.Codes.data(), ch1.Codes.data())) {
        return -1;
    }
    int mismatches = 0;
    for (int i = 0; i < kRunSamples; ++i) {
        mismatches += window.Series(0).Codes[i] != ch0.Codes[i];
        mismatches += window.Series(1).Codes[i] != ch1.Codes[i];
    }
    return mismatches;
}

int Run() {
    WindowScene scene;
    TFormMain& window = scene.window;
    window.ComboBox1->setCurrentIndex(kTopRateIndex);
    window.ComboBox2->setCurrentIndex(kLargestCountIndex);
    window.ComboBox3->setCurrentIndex(kBothChannels);
    // The main thread is named "measured" for the run, so that a profile can keep only it
    // (perf report --comm measured).
    prctl(PR_SET_NAME, "measured");
    const double cpu0 = ProcessUsage::CpuSeconds();
    const auto t0 = Steady::now();
    window.MeasureBtn->click();
    const double clickCpu = ProcessUsage::CpuSeconds() - cpu0;
    const double clickWall = SecondsSince(t0);
    while (window.Measuring()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double cpu = ProcessUsage::CpuSeconds() - cpu0;
    prctl(PR_SET_NAME, "checking");
    const double wall = SecondsSince(t0);
    const int mismatches = CountMismatches(window);
    std::printf(
        "run 2CH x %d at 31250/s: wall %.3f s (streaming %.3f s, ratio %.2f), CPU %.3f s "
        "= %.2f %% of a core (target < 5 %%)\n",
        kRunSamples, wall, kStreamingSeconds, wall / kStreamingSeconds, cpu, 100.0 * cpu / wall);
    std::printf(
        "  of which the click (identification, configuration, start): wall %.1f ms, "
        "CPU %.1f ms\n",
        clickWall * 1e3, clickCpu * 1e3);
    std::printf("samples: CH0 %d, CH1 %d held; %d differ from the same seed unpaced; %zu boxes\n",
                window.Series(0).Count, window.Series(1).Count, mismatches,
                scene.prompts.boxes.size());
    const bool fComplete = window.Series(0).Count == kRunSamples &&
                           window.Series(1).Count == kRunSamples && mismatches == 0;
    return fComplete ? 0 : 1;
}

// Reports once the paint box has been painted with the grid in its picture.
class FirstGraphWatch : public QObject {
public:
    FirstGraphWatch(TFormMain& w, long long startNs) : window(w), started(startNs) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window.PaintBox1 && event->type() == QEvent::Paint && !fSeen &&
            window.GraphObject()->Bitmap().pixel(0, 0) == qRgb(128, 128, 128)) {
            fSeen = true;
            // After the paint itself has finished.
            QTimer::singleShot(0, this, [this] { Report(); });
        }
        return false;
    }

private:
    void Report() const {
        const long long now =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now().time_since_epoch())
                .count();
        std::printf(
            "start-up: %.1f ms from process start to the first drawn graph; resident "
            "memory %.1f MiB\n",
            static_cast<double>(now - started) / 1e6,
            static_cast<double>(ProcessUsage::ResidentKiB()) / 1024.0);
        std::fflush(stdout);
        QCoreApplication::quit();
    }

    TFormMain& window;
    long long started;
    bool fSeen = false;
};

// As main() builds the program, on the simulated board and under a key of its own.
int StartupChild(int argc, char** argv, long long startNs) {
    ChooseEventLoop();
    QApplication app(argc, argv);
    QApplication::setApplicationName("SELKORAN");
    QtPrompts prompts;
    SingleInstance instance(QStringLiteral("SELKORAN-bench-%1").arg(getpid()));
    if (!instance.TryLock()) {
        return 1;
    }
    SimulatedFifo fifo;
    Program program(fifo, prompts);
    TFormMain& window = program.Window();
    FirstGraphWatch watch(window, startNs);
    window.PaintBox1->installEventFilter(&watch);
    instance.Listen([] {});
    window.show();
    return QApplication::exec();
}

int Startup(const char* self) {
    const long long startNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now().time_since_epoch())
            .count();
    const pid_t child = fork();
    if (child == 0) {
        const std::string start = std::to_string(startNs);
        execl(self, self, "startup-child", start.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// A 1 ms timer of the window's thread from its start: the gaps between its events (the first
// from the start) show how long the event loop was kept from them.
class TickWatch {
public:
    TickWatch() {
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            const qint64 t = clock.nsecsElapsed();
            if (last >= 0) {
                gapsMs.push_back(static_cast<double>(t - last) / 1e6);
            }
            last = t;
        });
        ticker.start(1);
        clock.start();
        last = 0;  // the first gap counts from the start
    }
    double ElapsedMs() const { return static_cast<double>(clock.nsecsElapsed()) / 1e6; }
    // "N timer events meanwhile, gap median M ms, longest L ms", the timer stopped.
    std::string Stop() {
        ticker.stop();
        std::sort(gapsMs.begin(), gapsMs.end());
        const double median = gapsMs.empty() ? 0.0 : gapsMs[gapsMs.size() / 2];
        const double longest = gapsMs.empty() ? 0.0 : gapsMs.back();
        char text[160];
        std::snprintf(text, sizeof text,
                      "%zu timer events meanwhile, gap median %.2f ms, longest %.2f ms",
                      gapsMs.size(), median, longest);
        return text;
    }

private:
    QElapsedTimer clock;
    QTimer ticker;
    std::vector<double> gapsMs;
    qint64 last = -1;
};

// How the window answers while a start awaits the board's replies (in the event loop): every
// reply of a slow board comes 80 ms late (identification and configuration, six replies), and a
// 1 ms timer runs all the while; the longest the timer waited for the event loop, against the
// whole start.
int Identify() {
    BoardOptions slow;
    slow.replyDelayMs = 80;
    WindowScene scene(slow);
    TickWatch watch;
    scene.window.MeasureBtn->click();  // returns once the run has started
    const double startMs = watch.ElapsedMs();
    const std::string ticks = watch.Stop();
    const bool fStarted = scene.window.Measuring();
    scene.window.MeasureBtn->click();
    std::printf("start on a board answering 80 ms late: %.0f ms, %s\n", startMs, ticks.c_str());
    return fStarted ? 0 : 1;
}

// The analysis window analysing the recording at `path` on its worker thread, the event loop
// running until it ends; then the same analysis called in the window's thread, as the window
// did before it had a worker.
int Analyse(const char* path) {
    FakePrompts prompts;
    NoiseAnalysisWindow window(prompts, nullptr);
    window.show();
    RunEventLoopFor(200);
    TickWatch inWorker;
    window.ShowRecording(path);
    while (window.Analysing()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double workerMs = inWorker.ElapsedMs();
    std::printf("analysis window, worker thread: %.0f ms, %s; figures %s\n", workerMs,
                inWorker.Stop().c_str(), window.ShownAnalysis() != nullptr ? "shown" : "MISSING");
    TickWatch inWindow;
    RecordingAnalysis::Failure failure{};
    const bool fAnalysed =
        RecordingAnalysis::Analyse({.path = path, .fDynamic = true}, &failure).has_value();
    RunEventLoopFor(5);  // the events the analysis held up
    std::printf("in the window's thread:         %.0f ms, %s\n", inWindow.ElapsedMs(),
                inWindow.Stop().c_str());
    return fAnalysed && window.ShownAnalysis() != nullptr ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_window idle [seconds] | slow [seconds] | run | identify | "
                 "startup | analyse FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc < 2) {
        return Usage();
    }
    const std::string mode = argv[1];
    if (mode == "startup") {
        return Startup("/proc/self/exe");
    }
    if (mode == "startup-child" && argc >= 3) {
        return StartupChild(argc, argv, std::atoll(argv[2]));
    }
    ChooseEventLoop();  // as the program does
    QApplication app(argc, argv);
    if (mode == "idle") {
        return Idle(argc >= 3 ? std::atoi(argv[2]) : 5);
    }
    if (mode == "slow") {
        return Slow(argc >= 3 ? std::atoi(argv[2]) : 20);
    }
    if (mode == "run") {
        return Run();
    }
    if (mode == "identify") {
        return Identify();
    }
    if (mode == "analyse" && argc >= 3) {
        return Analyse(argv[2]);
    }
    return Usage();
}
