// SPDX-License-Identifier: GPL-3.0-or-later
// Interval statistics as a sink of the acquisition engine on the simulated board, the queue of
// unconfirmed messages and the broker's address.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <future>
#include <vector>

#include "boardsim/SampleSource.h"
#include "common/Codes.h"
#include "common/PosixFile.h"
#include "measure/Acquisition.h"
#include "publish/IntervalFile.h"
#include "publish/IntervalQueue.h"
#include "publish/IntervalStatistics.h"
#include "publish/MqttAddress.h"
#include "tests/fakes/TappedBoard.h"

using namespace std::chrono_literals;

namespace {

constexpr int kTopRate = 16;  // 31250 per second, blocks of 100

// Figures computed here, sample by sample, from the simulator's own codes.
struct Expected {
    std::int64_t n = 0;
    double mean = 0.0, std = 0.0, min = 0.0, max = 0.0;
};

Expected Compute(const std::vector<std::int32_t>& codes) {
    Expected e;
    e.n = static_cast<std::int64_t>(codes.size());
    std::vector<double> uv;
    for (const std::int32_t code : codes) {
        uv.push_back(CodeToMicrovolts(code, 1));
    }
    for (const double v : uv) {
        e.mean += v / static_cast<double>(e.n);
    }
    for (const double v : uv) {
        e.std += (v - e.mean) * (v - e.mean) / static_cast<double>(e.n);
    }
    e.std = std::sqrt(e.std);
    e.min = *std::min_element(uv.begin(), uv.end());
    e.max = *std::max_element(uv.begin(), uv.end());
    return e;
}

// Runs `count` samples at the top rate on both channels of a fresh simulated board (or until
// `stopAt` samples, as the stop button) into intervals of `seconds`, numbered from `firstSeq`.
std::vector<std::vector<IntervalFigures>> Intervals(std::int64_t count, double seconds,
                                                    std::int64_t stopAt, std::int64_t firstSeq) {
    std::vector<std::vector<IntervalFigures>> intervals;
    IntervalStatistics statistics(std::chrono::duration<double>(seconds),
                                  [&intervals](std::span<const IntervalFigures> interval) {
                                      intervals.emplace_back(interval.begin(), interval.end());
                                      return true;
                                  });
    statistics.ContinueAfter(firstSeq - 1);
    FakeClock clock;
    TappedBoard board(clock);
    TADC adc(board, clock.Timing());
    Acquisition engine(adc, [&clock] { return clock.Now(); });
    const RunRequest request{.settings = {.spsSel = kTopRate, .CHSel = 2}, .count = count};
    EXPECT_EQ(engine.Start(request, {&statistics}), Acquisition::StartResult::Started);
    for (int wakes = 0; engine.Running() && wakes < 100000; ++wakes) {
        if (stopAt >= 0 && engine.Acquired() >= stopAt) {
            engine.Stop();
        }
        clock.Advance(3200us);
        engine.Wake();
    }
    return intervals;
}

TEST(PublishInterval, FiguresEqualTheSimulatorsSamplesSplitAcrossBlocks) {
    // 0.008 s at 31250 per second: 250 samples, two and a half blocks of 100. A run that ends
    // or is stopped within an interval gives the shorter interval too.
    struct Case {
        std::int64_t count;
        std::int64_t stopAt;
        std::vector<std::int64_t> sizes;
    };
    const Case cases[] = {{1000, -1, {250, 250, 250, 250}},
                          {1100, -1, {250, 250, 250, 250, 100}},
                          {5000, 300, {250, 50}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        const auto intervals = Intervals(c.count, 0.008, c.stopAt, 41);
        ASSERT_EQ(intervals.size(), c.sizes.size());
        SampleSource source(BoardOptions{}.seed, BoardOptions{}.ch0Microvolts,
                            BoardOptions{}.ch1Microvolts);
        for (std::size_t k = 0; k < intervals.size(); ++k) {
            std::vector<std::int32_t> codes[2];
            for (std::int64_t i = 0; i < c.sizes[k]; ++i) {
                const auto next = source.NextCodes(kTopRate, true);
                codes[0].push_back(next[0]);
                codes[1].push_back(next[1]);
            }
            ASSERT_EQ(intervals[k].size(), 2u);
            for (const IntervalFigures& f : intervals[k]) {
                const Expected e = Compute(codes[f.channel]);
                EXPECT_EQ(f.seq, 41 + static_cast<std::int64_t>(k));  // a continued sequence
                EXPECT_EQ(f.n, e.n);
                EXPECT_NEAR(f.meanMicrovolts, e.mean, 1e-9 * std::max(1.0, std::abs(e.mean)));
                EXPECT_NEAR(f.stdMicrovolts, e.std, 1e-9);
                EXPECT_EQ(f.minMicrovolts, e.min);
                EXPECT_EQ(f.maxMicrovolts, e.max);
                if (k > 0) {
                    EXPECT_EQ(f.start, intervals[k - 1][0].end);
                }
            }
        }
    }
}

// A board that falls silent ends the run at the time-out, 10 s after its last sample: the last
// interval ends when its last sample arrived, not when the run was found over.
TEST(PublishInterval, TheLastIntervalOfASilentBoardEndsWithItsLastSample) {
    std::chrono::system_clock::time_point now{std::chrono::sys_days{std::chrono::March / 1 / 2025}};
    std::vector<IntervalFigures> closed;
    IntervalStatistics statistics(
        1s,
        [&closed](std::span<const IntervalFigures> interval) {
            closed.insert(closed.end(), interval.begin(), interval.end());
            return true;
        },
        [&now] { return now; });
    AcquisitionInfo run;
    run.settings.spsSel = 3;  // 10 per second: 10 samples an interval
    run.start = now;
    ASSERT_TRUE(statistics.Begin(run));
    const std::vector<std::int32_t> codes(5, kMidScaleCode);
    for (std::int64_t first = 0; first < 15; first += 5) {
        now += 500ms;  // half an interval per block
        ASSERT_TRUE(statistics.Take({first, codes, {}, {}}));
    }
    now += 10s;  // the monitor's time-out
    ASSERT_TRUE(statistics.End(AcquisitionOutcome::TimedOut));
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[0].end, run.start + 1000ms);
    EXPECT_EQ(closed[1].start, closed[0].end);
    EXPECT_EQ(closed[1].n, 5);
    EXPECT_EQ(closed[1].end, run.start + 1500ms);
    EXPECT_EQ(closed[1].run, run.start);  // the run names every interval
}

TEST(PublishIntervalLength, EveryIntervalHoldsAtLeastOneSample) {
    EXPECT_EQ(IntervalStatistics::SamplesIn(10s, 31250), 312500);
    EXPECT_EQ(IntervalStatistics::SamplesIn(1s, 1.25), 1);
    EXPECT_EQ(IntervalStatistics::SamplesIn(0.1s, 1.25), 1);
    EXPECT_EQ(IntervalStatistics::SamplesIn(10s, 16.63), 166);
}

IntervalFigures Numbered(std::int64_t seq) {
    IntervalFigures f;
    f.seq = seq;
    return f;
}

std::vector<std::int64_t> Sent(IntervalQueue& queue, int& mid) {
    std::vector<std::int64_t> sent;
    while (const auto next = queue.NextToSend(2)) {
        sent.push_back(next->figures.seq);
        queue.Handed(next->number, ++mid);
    }
    return sent;
}

TEST(PublishQueue, DropsTheOldestWhenFullAndSendsTheUnconfirmedAgainInOrder) {
    IntervalQueue queue(4);
    for (std::int64_t seq = 1; seq <= 6; ++seq) {
        EXPECT_EQ(queue.Push(Numbered(seq)), seq > 4);
    }
    EXPECT_EQ(queue.Dropped(), 2u);
    int mid = 0;
    EXPECT_EQ(Sent(queue, mid), (std::vector<std::int64_t>{3, 4}));  // two in flight at most
    queue.Confirmed(1);
    EXPECT_EQ(Sent(queue, mid), (std::vector<std::int64_t>{5}));
    queue.Unhand();  // the connection is lost: 4 and 5 were not confirmed
    EXPECT_EQ(Sent(queue, mid), (std::vector<std::int64_t>{4, 5}));
    queue.Push(Numbered(7));
    queue.Push(Numbered(8));  // drops 4, which is in flight
    queue.Confirmed(mid);     // 5
    EXPECT_EQ(Sent(queue, mid), (std::vector<std::int64_t>{6, 7}));
    EXPECT_EQ(queue.Size(), 3u);
    EXPECT_EQ(queue.Dropped(), 3u);
}

TEST(PublishAddress, ReadsHostPortTlsAndPrefix) {
    struct Row {
        const char* url;
        const char* host;
        int port;
        bool fTls;
        const char* prefix;
    };
    const Row good[] = {{"mqtt://broker/lab", "broker", 1883, false, "lab"},
                        {"mqtts://broker.example:8884/a/b", "broker.example", 8884, true, "a/b"},
                        {"mqtts://[::1]/lab", "::1", 8883, true, "lab"},
                        {"mqtt://127.0.0.1:1/x", "127.0.0.1", 1, false, "x"}};
    for (const Row& row : good) {
        std::string error;
        const auto address = MqttAddress::Parse(row.url, error);
        ASSERT_TRUE(address) << row.url;
        EXPECT_EQ(address->host, row.host);
        EXPECT_EQ(address->port, row.port);
        EXPECT_EQ(address->fTls, row.fTls);
        EXPECT_EQ(address->prefix, row.prefix);
    }
    for (const char* url : {"http://broker/lab", "mqtt://broker", "mqtt://broker/", "mqtt:///lab",
                            "mqtt://broker:0/lab", "mqtt://broker:x/lab", "mqtt://broker/a/#",
                            "mqtt://broker/a//b", "mqtt://[::1/lab"}) {
        std::string error;
        EXPECT_FALSE(MqttAddress::Parse(url, error)) << url;
        EXPECT_FALSE(error.empty()) << url;
    }
}

// A pipe named as the file to continue is refused at once, not waited on for a writer.
TEST(PublishIntervalFile, APipeToContinueIsRefusedAtOnce) {
    const QTemporaryDir dir;
    const std::string pipe = dir.filePath("iv.csv").toStdString();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    IntervalFile file(pipe, IntervalFile::Mode::Continue, 1s);
    auto prepared = std::async(std::launch::async, [&file] { return file.Prepare(); });
    const bool fAtOnce = prepared.wait_for(5s) == std::future_status::ready;
    if (!fAtOnce) {
        PosixFile::Open(pipe, O_WRONLY);  // lets the waiting reader go
    }
    EXPECT_TRUE(fAtOnce);
    EXPECT_EQ(prepared.get(), FileRefusal::Failed);
}

}  // namespace
