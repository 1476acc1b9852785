// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A sine on CH0, added to its DC input and noise before the code is made: the fundamental
// and, where set, its second and third harmonic in phase with it. None at a frequency of 0.
struct SineInput {
    double frequencyHz = 0.0;
    double peakMicrovolts = 1000000.0;
    std::optional<double> hd2Dbc;
    std::optional<double> hd3Dbc;
};

// What the simulated board measures and which faults it shows. Sample numbers count from 0
// within each run; -1 switches a fault off.
struct BoardOptions {
    std::uint64_t seed = 1;
    double ch0Microvolts = 4.0;        // a small offset on the shorted CH0 input
    double ch1Microvolts = 1250000.0;  // a 1.25 V source on CH1
    std::string name = "SELKORAN";
    std::string version = "1.10";
    std::string serial;  // the USB chip's serial number (none by default; in process only)
    SineInput sine;

    bool fSilent = false;    // no answer at all: no replies, no records
    std::string ngCommand;   // refused with "NG" (exact command text, without CR)
    int replyDelayMs = 0;    // replies appear this late
    int replyBurstSize = 0;  // replies leave in bursts of this many bytes (0: whole)
    int lineFeedAt = -1;     // this record ends with LF instead of CR
    int shortRecordAt = -1;  // this record lacks its last digit
    int stopAfter = -1;      // the stream stops after this many records
    int purgeFailsAt = -1;   // purges counted from 0 since start: this one fails (in process
                             // only: a client of the pseudo-terminal purges in its own kernel)
    int vanishAfter = -1;    // the device disappears once a run has produced this many records

    // Reads "key=value,key=value,..." (keys: seed ch0 ch1 sine amp hd2 hd3 name serial silent ng
    // delay split lf short stopafter purgefail vanish). False with a reason in `error` on an
    // unknown key, a bad value, or a sine's amplitude or harmonic without its frequency;
    // `options` then keeps what was read before.
    static bool Parse(std::string_view text, BoardOptions* options, std::string* error);
};
