// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "link/Ad7172.h"
#include "measure/BlockWait.h"

// How one measurement uses the board, shared by the window and the command-line tool:
// identification, configuration and start, one block read per look, and how long to sleep
// before the next look.
class BoardSession {
public:
    enum class IdentifyResult { Ok, NotFound, NoResponse, WrongName };

    // What a start asks of the board.
    struct RunRequest {
        bool fSinc5 = true;
        int spsSel = 3;
        int chSel = 0;
        int count = 1000;
    };

    static constexpr const char* kBoardName = "SELKORAN";
    static constexpr int kMinSamplesKept = 10;  // an operator stop keeps the data from here on

    explicit BoardSession(TADC& adc);

    // Samples asked of the board in one poll at data-rate index `spsSel` (0..16).
    static int SamplesPerPoll(int spsSel);

    // Open (NotFound when that fails), presence check "?", name "U?" (must be "SELKORAN",
    // else WrongName) and version "V?" (NoResponse when one of them goes unanswered). Every
    // failure closes the board first.
    IdentifyResult Identify(std::string& name, std::string& version);
    // Filter ("S5" or "S3"), rate ("F" and the rate's character), then the start command;
    // false at the first failing step.
    bool ConfigureAndStart(const RunRequest& request);
    // One block of SamplesPerPoll(spsSel) samples, or of `most` when fewer are still due,
    // stored at index `first` (channel codes of a one-channel run go to ch0Codes for CH0 and
    // ch1Codes for CH1). `*got` is 0 while the block is incomplete; false on a transport
    // failure, a malformed record (with `*got` the records before it), or a driver that
    // reports an error or a hang-up (an unplugged board).
    bool ReadBlock(int chSel, int spsSel, std::int32_t* ch0Codes, std::int32_t* ch1Codes, int first,
                   int* got, int most = TADC::kMaxBlockRecords);
    // How long to sleep after a look before the next one, for the run the board was started
    // with (whose blocks are smaller only where its count is); `pacing` remembers the run's
    // last look.
    BlockWait::Sleep NextLook(const RunRequest& run, BlockWait& pacing);

private:
    TADC& board;
};
