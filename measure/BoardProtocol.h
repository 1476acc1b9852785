// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/MeasureSettings.h"
#include "link/Ad7172.h"
#include "measure/BlockWait.h"

// How the acquisition engine uses the board: identification, configuration and start, one
// block read per look, and how long to sleep before the next look.
class BoardProtocol {
public:
    enum class IdentifyResult { Ok, NotFound, NoResponse, WrongName };

    // What one block read brought.
    struct BlockRead {
        int got = 0;  // records stored; 0 while the block is incomplete
        // False on a transport failure, a malformed record (`got`: the records before it), or a
        // driver that reports an error or a hang-up (an unplugged board).
        bool fRead = true;
    };

    static constexpr const char* kBoardName = "SELKORAN";
    static constexpr int kMinSamplesKept = 10;  // an operator stop keeps the data from here on

    explicit BoardProtocol(TADC& adc);

    // Samples asked of the board in one poll at data-rate index `spsSel` (0..16).
    static int SamplesPerPoll(int spsSel);

    // Open (NotFound when that fails), presence check "?", name "U?" (must be "SELKORAN",
    // else WrongName) and version "V?" (NoResponse when one of them goes unanswered). Every
    // failure closes the board first.
    IdentifyResult Identify(std::string& name, std::string& version);
    // Filter ("S5" or "S3"), rate ("F" and the rate's character), then the start command for
    // `count` samples; false at the first failing step.
    bool ConfigureAndStart(const MeasureSettings& settings, int count);
    // One block of SamplesPerPoll(spsSel) samples, or fewer where the spans of the measured
    // channels are shorter (the samples still due), from the spans' starts; a one-channel run
    // fills its own channel's span.
    BlockRead ReadBlock(const MeasureSettings& settings, std::span<std::int32_t> ch0,
                        std::span<std::int32_t> ch1);
    // How long to sleep after a look before the next one, for a run with these settings that
    // still awaits `due` samples of its start command (its blocks are smaller only where that
    // is); `pacing` remembers the run's last look.
    BlockWait::Sleep NextLook(const MeasureSettings& settings, int due, BlockWait& pacing);

private:
    TADC& board;
};
