// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "measure/BlockWait.h"

using namespace std::chrono_literals;

namespace {

double Ms(std::chrono::nanoseconds d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

constexpr unsigned kBlock = 1300;          // 100 two-channel records
constexpr double kTopPace = 13 * 31250.0;  // bytes per second at 31250 samples per second
constexpr int kDescriptor = 7;

TEST(BlockWait, SleepFollowsWhatHasArrivedOfTheBlock) {
    struct Look {
        const char* name;
        unsigned pending;
        FifoReadiness readiness;
        int fd;
        std::chrono::nanoseconds sleep;  // expected, to within 0.1 ms
    };
    const FifoReadiness signals{kDescriptor, std::nullopt};
    const std::vector<Look> looks = {
        {"nothing yet: until a signal, at most a second", 0, signals, kDescriptor, 1s},
        {"a whole block and more: at once", 1400, signals, -1, 0ms},
        {"half a block came: the rest at the board's pace", 650, signals, -1, 1600us},
        {"nothing new since: until a signal", 650, signals, kDescriptor, 1s},
        {"nearly whole: still a millisecond", 1290, signals, -1, 1ms},
        {"exactly one whole block: at once", 1300, signals, -1, 0ms},
    };
    BlockWait pacing;
    for (const Look& look : looks) {
        SCOPED_TRACE(look.name);
        const BlockWait::Sleep sleep = pacing.Next(look.pending, kBlock, kTopPace, look.readiness);
        EXPECT_EQ(sleep.fd, look.fd);
        EXPECT_NEAR(Ms(sleep.duration), Ms(look.sleep), 0.1);
    }

    // Nothing yet but data due in 30 ms: sleep until then. The clock runs on while the
    // call is made, so the sleep lies between what was left after and before it.
    const auto before = FifoReadiness::Clock::now();
    const FifoReadiness due{-1, before + 30ms};
    const BlockWait::Sleep sleep = pacing.Next(0, kBlock, kTopPace, due);
    const auto after = FifoReadiness::Clock::now();
    EXPECT_EQ(sleep.fd, -1);
    EXPECT_LE(sleep.duration, 30ms);
    EXPECT_GE(sleep.duration, *due.due - after);
}

// Without a signal a run looks once a second where the driver announces its bytes (a
// descriptor, or due times that say none are coming), every 100 ms where it cannot; at 1.25
// per second the rest of a part block (1.5 s) is due later than either.
TEST(BlockWait, LookWithoutASignalComesOnceASecondOnlyWhereTheDriverAnnounces) {
    FifoReadiness nothingDue;
    nothingDue.fDueKnown = true;
    for (const auto& [readiness, longest] :
         {std::pair{FifoReadiness{kDescriptor, std::nullopt}, 1000ms},
          {nothingDue, 1000ms},
          {FifoReadiness{}, 100ms}}) {
        BlockWait pacing;
        EXPECT_EQ(pacing.Next(0, 7, 7 * 1.25, readiness).duration, longest);
        EXPECT_EQ(pacing.Next(1, 14, 7 * 1.25, readiness).duration, longest);
    }
}

}  // namespace
