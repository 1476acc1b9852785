// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/UnpacedAcquisition.h"

#include <string>
#include <utility>

namespace {

// Polls that bring nothing before the run counts as stuck; with every record due, the
// first poll of each block already finds it.
constexpr int kMaxEmptyPolls = 100;

}  // namespace

UnpacedAcquisition::UnpacedAcquisition(BoardOptions options)
    : fifo(std::move(options), [this] { return now; }), adc(fifo, Timing()), session(adc) {}

LinkTiming UnpacedAcquisition::Timing() {
    return {[this] { return now; },
            [this](const FifoReadiness&, LinkTiming::Clock::duration) {
                now += std::chrono::milliseconds(1);
            }};
}

bool UnpacedAcquisition::Acquire(const BoardSession::RunRequest& request, std::int32_t* ch0,
                                 std::int32_t* ch1) {
    std::string name;
    std::string version;
    if (session.Identify(name, version) != BoardSession::IdentifyResult::Ok ||
        !session.ConfigureAndStart(request)) {
        return false;
    }
    now += std::chrono::hours(1);
    int acquired = 0;
    int emptyPolls = 0;
    while (acquired < request.count && emptyPolls < kMaxEmptyPolls) {
        int got = 0;
        if (!session.ReadBlock(request.chSel, request.spsSel, ch0, ch1, acquired, &got)) {
            return false;
        }
        acquired += got;
        emptyPolls = got == 0 ? emptyPolls + 1 : 0;
    }
    return acquired == request.count;
}
