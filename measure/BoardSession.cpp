// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/BoardSession.h"

#include <algorithm>

#include "common/SampleRates.h"

namespace {

// Grows with the rate so that fast rates are not limited by the poll rate; every
// selectable count is a multiple of every entry, so whole blocks end exactly on the count.
constexpr int kSamplesPerPoll[TADC::kMaxRateIndex + 1] = {1, 1, 1,  1,  1,  1,   1,   1,  1,
                                                          2, 5, 10, 20, 50, 100, 100, 100};

}  // namespace

BoardSession::BoardSession(TADC& adc) : board(adc) {}

int BoardSession::SamplesPerPoll(int spsSel) {
    return spsSel >= 0 && spsSel <= TADC::kMaxRateIndex ? kSamplesPerPoll[spsSel] : 1;
}

BoardSession::IdentifyResult BoardSession::Identify(std::string& name, std::string& version) {
    char text[TADC::kMaxReplyText + 1];
    IdentifyResult result = IdentifyResult::Ok;
    if (!board.OpenBoard()) {
        result = IdentifyResult::NotFound;
    } else if (!board.Ping() || !board.ReadBoardName(text)) {
        result = IdentifyResult::NoResponse;
    } else if (std::string(text) != kBoardName) {
        result = IdentifyResult::WrongName;
    } else {
        name = text;
        if (!board.ReadBoardVersion(text)) {
            result = IdentifyResult::NoResponse;
        } else {
            version = text;
        }
    }
    if (result != IdentifyResult::Ok) {
        board.CloseBoard();
    }
    return result;
}

bool BoardSession::ConfigureAndStart(const RunRequest& request) {
    const bool filterSet = request.fSinc5 ? board.SelectSinc5() : board.SelectSinc3();
    return filterSet && board.SetDataRate(request.spsSel) &&
           board.StartConversion(request.chSel, request.count);
}

bool BoardSession::ReadBlock(int chSel, int spsSel, std::int32_t* ch0Codes, std::int32_t* ch1Codes,
                             int first, int* got, int most) {
    // Taking the driver's signal first lets bytes that come after this look signal anew.
    if (!board.TakeReadiness()) {
        return false;
    }
    const int n = std::min(SamplesPerPoll(spsSel), most);
    if (chSel == 2) {
        return board.ReadSamples2CH(ch0Codes + first, ch1Codes + first, n, got);
    }
    std::int32_t* codes = chSel == 1 ? ch1Codes : ch0Codes;
    return board.ReadSamples1CH(codes + first, got, n);
}

BlockWait::Sleep BoardSession::NextLook(const RunRequest& run, BlockWait& pacing) {
    const unsigned recordBytes = run.chSel == 2 ? TADC::kRecordBytes2CH : TADC::kRecordBytes1CH;
    const auto blockBytes =
        recordBytes * static_cast<unsigned>(std::min(SamplesPerPoll(run.spsSel), run.count));
    const double bytesPerSecond =
        recordBytes * SampleRates::SamplesPerSecond(run.spsSel, run.fSinc5);
    return pacing.Next(board.PendingBytes(), blockBytes, bytesPerSecond, board.Readiness());
}
