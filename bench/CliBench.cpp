// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's acquisition as `selkoran-cli measure` runs it (CliAcquisition), on the
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
#include "cli/CliAcquisition.h"
#include "cli/MeasurementData.h"
#include "cli/ProgressBar.h"
#include "cli/StopSignal.h"
#include "link/Ad7172.h"
#include "link/driver/SimulatedFifo.h"
#include "measure/BoardSession.h"

namespace {

using Steady = std::chrono::steady_clock;

constexpr int kRunSamples = 10000;
constexpr double kStreamingSeconds = kRunSamples / 31250.0;

// The board identified and the run started, as the command line does before it acquires.
struct CliScene {
    explicit CliScene(const BoardSession::RunRequest& run) : adc(fifo), request(run) {
        std::string name;
        std::string version;
        fStarted = BoardSession(adc).Identify(name, version) == BoardSession::IdentifyResult::Ok &&
                   BoardSession(adc).ConfigureAndStart(request);
        data.Settings.spsSel = run.spsSel;
        data.Settings.CHSel = run.chSel;
    }
    SimulatedFifo fifo;
    TADC adc;
    BoardSession::RunRequest request;
    MeasurementData data;
    bool fStarted = false;
};

struct Measured {
    CliAcquisition::Outcome outcome;
    int acquired;
    double cpu;
    double wall;
    ProcessUsage::Wakes wakes;
};

Measured Acquire(CliScene& scene) {
    CliAcquisition acquisition(scene.adc, scene.request, scene.data);
    ProgressBar progress;
    const double cpu0 = ProcessUsage::CpuSeconds();
    const ProcessUsage::Wakes wakes0 = ProcessUsage::CountWakes();
    const auto t0 = Steady::now();
    const CliAcquisition::Outcome outcome = acquisition.Run(progress);
    const double wall = std::chrono::duration<double>(Steady::now() - t0).count();
    return {outcome, acquisition.Acquired(), ProcessUsage::CpuSeconds() - cpu0, wall,
            ProcessUsage::CountWakes() - wakes0};
}

int Slow(int seconds) {
    CliScene scene({true, 0, 0, 1000});
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
    return m.outcome == CliAcquisition::Outcome::Stopped ? 0 : 1;
}

int Run() {
    CliScene scene({true, 16, 2, kRunSamples});
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
    return m.outcome == CliAcquisition::Outcome::Complete && mismatches == 0 ? 0 : 1;
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
