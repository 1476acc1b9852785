// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's acquisition as `selkoran-cli measure` runs it (RunLoop on the engine), on the
// simulated board in real time: processor time of the process from the start command to the
// end of the run.
//   bench_cli slow [seconds]   1.25 samples per second on CH0, stopped as Ctrl-C stops it
//                              after `seconds` (default 20)
//   bench_cli run              two channels, 10000 samples at 31250 per second, every sample
//                              compared with an unpaced run of a simulator with the same seed

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bench/ProcessUsage.h"
#include "bench/UnpacedAcquisition.h"
#include "cli/ProgressBar.h"
#include "cli/RunLoop.h"
#include "cli/StopSignal.h"
#include "link/Ad7172.h"
#include "link/driver/SimulatedFifo.h"
#include "measure/Acquisition.h"
#include "measure/Measurement.h"
#include "measure/RunRequest.h"

namespace {

using Steady = std::chrono::steady_clock;

constexpr int kRunSamples = 10000;
constexpr double kStreamingSeconds = kRunSamples / 31250.0;

// The board identified and the run started, as the command line does before it acquires.
struct CliScene {
    explicit CliScene(const RunRequest& run) : adc(fifo), engine(adc), request(run) {
        fStarted = engine.Identify() == Acquisition::StartResult::Started &&
                   engine.Start(run, {&data}) == Acquisition::StartResult::Started;
    }
    SimulatedFifo fifo;
    TADC adc;
    Acquisition engine;
    RunRequest request;
    Measurement data;
    bool fStarted = false;
};

struct Measured {
    AcquisitionOutcome outcome;
    int acquired;
    double cpu;
    double wall;
    ProcessUsage::Wakes wakes;
};

Measured Acquire(CliScene& scene) {
    Acquisition& engine = scene.engine;
    ProgressBar progress;
    const double cpu0 = ProcessUsage::CpuSeconds();
    const ProcessUsage::Wakes wakes0 = ProcessUsage::CountWakes();
    const auto t0 = Steady::now();
    RunLoop::Drive(engine, [&] { progress.Show(engine.Acquired(), engine.Total()); });
    const double wall = std::chrono::duration<double>(Steady::now() - t0).count();
    return {engine.Result(), static_cast<int>(engine.Acquired()), ProcessUsage::CpuSeconds() - cpu0,
            wall, ProcessUsage::CountWakes() - wakes0};
}

int Slow(int seconds) {
    CliScene scene({.settings = {.spsSel = 0}, .count = 1000});
    if (!scene.fStarted) {
        return 1;
    }
    const StopSignal stopSignal;
    std::thread stopper([seconds] {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        kill(getpid(), SIGINT);
    });
    const Measured m = Acquire(scene);
    stopper.join();
    // The stopper thread's sleep counts among all threads' wakes, Ctrl-C among the main's.
    std::printf(
        "CLI at 1.25/s: %d samples, CPU %.4f s over %.2f s = %.4f %% of a core (target < 0.1 %%); "
        "%s\n",
        m.acquired, m.cpu, m.wall, 100.0 * m.cpu / m.wall,
        ProcessUsage::WakesText(m.wakes, m.wall).c_str());
    return m.outcome == AcquisitionOutcome::Stopped ? 0 : 1;
}

int Run() {
    CliScene scene({.settings = {.spsSel = 16, .CHSel = 2}, .count = kRunSamples});
    if (!scene.fStarted) {
        return 1;
    }
    const Measured m = Acquire(scene);
    static ChannelBuffer ch0;
    static ChannelBuffer ch1;
    UnpacedAcquisition reference;
    int mismatches = -1;
    if (reference.Acquire(scene.request, ch0.Codes.data(), ch1.Codes.data())) {
        mismatches = 0;
        for (int i = 0; i < kRunSamples; ++i) {
            mismatches += scene.data.Series(0).Codes[i] != ch0.Codes[i];
            mismatches += scene.data.Series(1).Codes[i] != ch1.Codes[i];
        }
    }
    std::printf(
        "CLI run 2CH x %d at 31250/s: wall %.3f s (streaming %.3f s, ratio %.2f), CPU %.4f s "
        "= %.3f %% of a core (target < 3 %%)\n",
        kRunSamples, m.wall, kStreamingSeconds, m.wall / kStreamingSeconds, m.cpu,
        100.0 * m.cpu / m.wall);
    std::printf("samples: %d acquired; %d differ from the same seed unpaced\n", m.acquired,
                mismatches);
    return m.outcome == AcquisitionOutcome::Complete && mismatches == 0 ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr, "usage: bench_cli slow [seconds] | run\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        return Usage();
    }
    const std::string mode = argv[1];
    if (mode == "slow") {
        return Slow(argc >= 3 ? std::atoi(argv[2]) : 20);
    }
    if (mode == "run") {
        return Run();
    }
    return Usage();
}
