// SPDX-License-Identifier: GPL-3.0-or-later
// The window's run as the board's driver wakes it.
//   bench_wake latency   how long after its arrival each record is stored, at 10 and at 49.68
//                        samples per second, arrival taken from the simulated board's clock
//   bench_wake soak [n]  n (default 1000) consecutive 10000-sample two-channel runs through
//                        the window's run path on an unpaced simulated board with a fresh seed
//                        each: every sample against the bytes the board sent, and the window's
//                        resident memory after the first run and after the last

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/Program.h"
#include "app/Selkoran_main.h"
#include "bench/ProcessUsage.h"
#include "boardsim/UsbOutput.h"
#include "common/SampleRates.h"
#include "link/Ad7172.h"
#include "link/driver/SimulatedFifo.h"
#include "tests/fakes/FakePrompts.h"
#include "tests/fakes/ForwardingFifo.h"

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRunSamples = 10000;
constexpr int kBothChannels = 2;
constexpr int kTopRateIndex = 16;
constexpr int kLargestCountIndex = 6;

void RunEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void RunUntilIdle(const TFormMain& window) {
    while (window.Measuring()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// "A" + channel digit + count: the records of a run follow it.
bool IsStartCommand(const void* bytes, unsigned count) {
    const auto* text = static_cast<const char*>(bytes);
    return count > 2 && text[0] == 'A' && text[1] >= '0' && text[1] <= '2';
}

// The simulated board in real time, noting when the program read the bytes of each record.
class TimedFifo : public SimulatedFifo {
public:
    FifoStatus Write(FifoHandle handle, const void* buffer, unsigned count,
                     unsigned* written) override {
        const FifoStatus status = SimulatedFifo::Write(handle, buffer, count, written);
        if (IsStartCommand(buffer, count)) {
            firstDue = *Board().NextEventTime();  // the first record's due time
            received = 0;
            readTimes.clear();
        }
        return status;
    }
    FifoStatus Read(FifoHandle handle, void* buffer, unsigned count, unsigned* got) override {
        const FifoStatus status = SimulatedFifo::Read(handle, buffer, count, got);
        const auto t = Steady::now();
        received += *got;
        while (readTimes.size() < received / TADC::kRecordBytes1CH) {
            readTimes.push_back(t);
        }
        return status;
    }

    Steady::time_point firstDue{};
    std::size_t received = 0;
    std::vector<Steady::time_point> readTimes;  // per record
};

// Records `records` samples at `rateIndex` (one record per block) and prints how long after
// its arrival each was read. A record arrives when the chip's latency time after its
// conversion runs out; records are further apart than that at these rates.
bool Latency(int rateIndex, int records) {
    TimedFifo fifo;
    FakePrompts prompts;
    Program program(fifo, prompts);
    TFormMain& window = program.Window();
    window.show();
    RunEventLoopFor(300);
    window.ComboBox1->setCurrentIndex(rateIndex);
    window.ComboBox2->setCurrentIndex(3);
    window.MeasureBtn->click();
    while (window.Measuring() && window.Acquired() < records) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    window.MeasureBtn->click();
    const double rate = SampleRates::SamplesPerSecond(rateIndex, true);
    const auto period = [rate](int k) {
        return std::chrono::nanoseconds(std::llround(k / rate * 1e9));
    };
    std::vector<double> latencies;
    for (int k = 0; k < records && k < static_cast<int>(fifo.readTimes.size()); ++k) {
        const auto arrival = fifo.firstDue + period(k) + UsbOutput::kLatency;
        latencies.push_back(
            std::chrono::duration<double, std::milli>(fifo.readTimes[k] - arrival).count());
    }
    if (latencies.size() != static_cast<std::size_t>(records)) {
        std::printf("rate %d: only %zu of %d records arrived\n", rateIndex, latencies.size(),
                    records);
        return false;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto percentile = [&latencies](double p) {
        return latencies[static_cast<std::size_t>(p * static_cast<double>(latencies.size() - 1))];
    };
    const auto within =
        std::count_if(latencies.begin(), latencies.end(), [](double ms) { return ms <= 2.0; });
    std::printf(
        "latency at %.2f/s over %d records: best %.3f ms, median %.3f ms, 95th percentile "
        "%.3f ms, worst %.3f ms; %ld of %d within 2 ms\n",
        rate, records, latencies.front(), percentile(0.5), percentile(0.95), latencies.back(),
        static_cast<long>(within), records);
    return percentile(0.5) <= 2.0;
}

// An unpaced simulated board that a new seed replaces between runs, keeping the device open,
// and that keeps the bytes it delivered in the current run.
class ReseededFifo : public ForwardingFifo {
public:
    void Reseed(std::uint64_t seed) {
        BoardOptions options;
        options.seed = seed;
        // Every call moves the clock an hour on: every record is due at once.
        board = std::make_unique<SimulatedFifo>(options, [this] { return now += 1h; });
        if (fOpen) {
            FifoHandle handle = 0;
            board->Open(0, &handle);
        }
        sent.clear();
    }

    FifoStatus Open(int n, FifoHandle* h) override {
        const FifoStatus status = board->Open(n, h);
        fOpen = status == FifoStatusCode::Ok;
        return status;
    }
    FifoStatus Close(FifoHandle h) override {
        fOpen = false;
        return board->Close(h);
    }
    FifoStatus Read(FifoHandle h, void* b, unsigned n, unsigned* got) override {
        const FifoStatus status = board->Read(h, b, n, got);
        sent.append(static_cast<const char*>(b), *got);
        return status;
    }
    FifoStatus Write(FifoHandle h, const void* b, unsigned n, unsigned* written) override {
        if (IsStartCommand(b, n)) {
            sent.clear();  // the run's records follow the start command
        }
        return board->Write(h, b, n, written);
    }

    std::string sent;

private:
    FifoDriver& Inner() override { return *board; }
    Steady::time_point now{};
    std::unique_ptr<SimulatedFifo> board;
    bool fOpen = false;
};

// Samples of the window's run that differ from the records the board sent.
int Mismatches(const TFormMain& window, const std::string& sent) {
    if (sent.size() != kRunSamples * TADC::kRecordBytes2CH) {
        return kRunSamples;
    }
    int mismatches = 0;
    for (int i = 0; i < kRunSamples; ++i) {
        const char* record = sent.data() + i * TADC::kRecordBytes2CH;
        mismatches += window.Series(0).Codes[i] != HexToCode(record) ||
                      window.Series(1).Codes[i] != HexToCode(record + 6);
    }
    return mismatches;
}

int Soak(int runs) {
    ReseededFifo fifo;
    fifo.Reseed(1);
    FakePrompts prompts;
    Program program(fifo, prompts);
    TFormMain& window = program.Window();
    window.show();
    RunEventLoopFor(300);
    window.ComboBox1->setCurrentIndex(kTopRateIndex);
    window.ComboBox2->setCurrentIndex(kLargestCountIndex);
    window.ComboBox3->setCurrentIndex(kBothChannels);
    long firstKiB = 0;
    int badRuns = 0;
    long badSamples = 0;
    const auto t0 = Steady::now();
    for (int run = 0; run < runs; ++run) {
        fifo.Reseed(static_cast<std::uint64_t>(run) + 1);
        window.MeasureBtn->click();
        RunUntilIdle(window);
        const int mismatches =
            window.Series(0).Count == kRunSamples && window.Series(1).Count == kRunSamples
                ? Mismatches(window, fifo.sent)
                : kRunSamples;
        badRuns += mismatches != 0;
        badSamples += mismatches;
        if (run == 0) {
            firstKiB = ProcessUsage::ResidentKiB();
        }
    }
    const long lastKiB = ProcessUsage::ResidentKiB();
    std::printf(
        "soak: %d runs of 2CH x %d unpaced in %.1f s: %d runs with samples lost, doubled or "
        "shifted (%ld samples); resident memory %.2f MiB after the first run, %.2f MiB after "
        "the last (%+ld KiB, target within 1024)\n",
        runs, kRunSamples, std::chrono::duration<double>(Steady::now() - t0).count(), badRuns,
        badSamples, static_cast<double>(firstKiB) / 1024.0, static_cast<double>(lastKiB) / 1024.0,
        lastKiB - firstKiB);
    return badRuns == 0 && lastKiB - firstKiB <= 1024 && prompts.boxes.empty() ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr, "usage: bench_wake latency | soak [runs]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (argc < 2) {
        return Usage();
    }
    const std::string mode = argv[1];
    if (mode == "latency") {
        const bool fTen = Latency(3, 30);
        const bool fFifty = Latency(6, 100);
        return fTen && fFifty ? 0 : 1;
    }
    if (mode == "soak") {
        return Soak(argc >= 3 ? std::atoi(argv[2]) : 1000);
    }
    return Usage();
}
