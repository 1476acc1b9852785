// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/BoardProtocol.h"

#include <algorithm>

#include "common/SampleRates.h"

namespace {

// Grows with the rate so that fast rates are not limited by the poll rate; every
// selectable count is a multiple of every entry, so whole blocks end exactly on the count.
constexpr int kSamplesPerPoll[TADC::kMaxRateIndex + 1] = {1, 1, 1,  1,  1,  1,   1,   1,  1,
                                                          2, 5, 10, 20, 50, 100, 100, 100};

}  // namespace

BoardProtocol::BoardProtocol(TADC& adc) : board(adc) {}

int BoardProtocol::SamplesPerPoll(int spsSel) {
    return spsSel >= 0 && spsSel <= TADC::kMaxRateIndex ? kSamplesPerPoll[spsSel] : 1;
}

BoardProtocol::IdentifyResult BoardProtocol::Identify(std::string& name, std::string& version) {
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

bool BoardProtocol::ConfigureAndStart(const MeasureSettings& settings, int count) {
    const bool filterSet = settings.fSinc5 ? board.SelectSinc5() : board.SelectSinc3();
    return filterSet && board.SetDataRate(settings.spsSel) &&
           board.StartConversion(settings.CHSel, count);
}

BoardProtocol::BlockRead BoardProtocol::ReadBlock(const MeasureSettings& settings,
                                                  std::span<std::int32_t> ch0,
                                                  std::span<std::int32_t> ch1) {
    BlockRead block;
    // Taking the driver's signal first lets bytes that come after this look signal anew.
    if (!board.TakeReadiness()) {
        block.fRead = false;
        return block;
    }
    const bool fBoth = settings.CHSel == 2;
    const std::span<std::int32_t> own = settings.CHSel == 1 ? ch1 : ch0;
    const std::size_t room = fBoth ? std::min(ch0.size(), ch1.size()) : own.size();
    const int n = std::min(SamplesPerPoll(settings.spsSel), static_cast<int>(room));
    block.fRead = fBoth ? board.ReadSamples2CH(ch0.data(), ch1.data(), n, &block.got)
                        : board.ReadSamples1CH(own.data(), &block.got, n);
    return block;
}

BlockWait::Sleep BoardProtocol::NextLook(const MeasureSettings& settings, int due,
                                         BlockWait& pacing) {
    const unsigned recordBytes =
        settings.CHSel == 2 ? TADC::kRecordBytes2CH : TADC::kRecordBytes1CH;
    const auto blockBytes =
        recordBytes * static_cast<unsigned>(std::min(SamplesPerPoll(settings.spsSel), due));
    const double bytesPerSecond = recordBytes * SampleRates::SamplesPerSecond(settings);
    return pacing.Next(board.PendingBytes(), blockBytes, bytesPerSecond, board.Readiness());
}
