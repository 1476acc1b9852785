// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "link/Ad7172.h"
#include "measure/AcquisitionSink.h"
#include "measure/BlockWait.h"
#include "measure/BoardProtocol.h"
#include "measure/RunRequest.h"

// The one acquisition engine: it owns the board's use and the run's state, and every front end
// (the window, the recording window, the command line, the instrument server, the monitor)
// drives it from its own event loop, one step at a time:
// - Start: the sinks' checks, identification (when the board is not known yet, or always when
//   asked), the sinks' files, configuration and the first start command;
// - Wake: one block read, handed to every attached sink; further start commands past one
//   command's 1,048,575 samples; the end when the count is in, a read fails, a sink fails or no
//   record came for the time-out;
// - NextWait: how long the loop may sleep, and on which descriptor the driver announces data;
// - Stop: the stop button.
// The board's replies are awaited inside Start, in the front end's wait (its event loop for a
// window): a Stop asked for meanwhile is kept and done when the step returns, and a Start or a
// Wake asked for meanwhile is refused, so no step ever runs inside another.
// How a run ends, and what the board is told then:
//   Complete     the count is in                     nothing; the board stays open
//   Stopped      Stop (the stop button, Ctrl-C)      "AX", the board closed
//   TimedOut     no record for the time-out          "AX", the board closed
//   ReadFailed   a transport failure, a bad record,  "AX"; the board closed when the
//                a further start command failed      device failed (unplugged)
//   WriteFailed  a sink failed (a full disk)         "AX"
// A sink that cannot complete what it keeps at the end turns any outcome into WriteFailed. A
// closed board is identified again at the next start.
class Acquisition {
public:
    using Clock = std::chrono::steady_clock;
    using NowFunction = std::function<Clock::time_point()>;
    using Outcome = AcquisitionOutcome;

    // The most samples one start command asks for (its five hexadecimal count digits).
    static constexpr std::int64_t kMaxStartCount = 0xFFFFF;

    // Whether a start identifies a board it knows again (a recording always starts afresh).
    enum class Identification { WhenUnknown, Always };

    enum class StartResult { Started, Busy, Refused, NotFound, NoResponse, WrongName, BoardError };

    explicit Acquisition(TADC& adc, NowFunction now = Clock::now);
    Acquisition(const Acquisition&) = delete;
    Acquisition& operator=(const Acquisition&) = delete;

    // `runSinks` take part in this run, in this order. Refused: a sink's check or file failed
    // (the sink knows why); the board may have been identified. BoardError: configuration
    // failed, the board stays open but must be identified again. Anything but Started leaves
    // the sinks as they were before Open.
    StartResult Start(const RunRequest& request, std::vector<AcquisitionSink*> runSinks,
                      Identification identification = Identification::WhenUnknown);
    // Identification alone, outside a run, as a start does it: afterwards Info() names the
    // board and the next start goes straight to the configuration. Busy during a run or a step.
    StartResult Identify();
    void Wake();
    // "AX" and the board closed; the sinks end with Stopped.
    void Stop();

    BlockWait::Sleep NextWait();
    // When Wake has to run at the latest even without data (a sink's deadline, the time-out).
    Clock::time_point NextDeadline() const;

    bool Running() const { return fRunning; }
    bool Busy() const { return fBusy; }
    Outcome Result() const { return outcome; }
    std::int64_t Acquired() const { return acquired; }
    std::int64_t Total() const { return run.count; }
    const AcquisitionInfo& Info() const { return run; }
    // Identified and open: the next start goes straight to the configuration.
    bool BoardReady() const { return fBoardReady; }
    // The board is to be identified again at the next start (someone else used it).
    void ForgetBoard() { fBoardReady = false; }
    TADC& Board() { return board; }

private:
    StartResult IdentifyBoard();
    StartResult OpenSinks();
    bool Deliver(int got, Clock::time_point t);
    bool StartNextChain();
    bool TickSinks(Clock::time_point t);
    void End(Outcome reason);
    // The step is over: a stop asked for during it is done now.
    void Leave();

    TADC& board;
    BoardProtocol protocol;
    NowFunction now;
    std::vector<AcquisitionSink*> sinks;
    std::optional<Clock::duration> noDataTimeout;  // the run's
    AcquisitionInfo run;
    bool fBoardReady = false;
    bool fRunning = false;
    bool fBusy = false;
    bool fStopAsked = false;
    Outcome outcome = Outcome::None;
    std::int64_t acquired = 0;
    std::int64_t chainLeft = 0;  // samples the current start command still owes
    Clock::time_point lastRecord{};
    BlockWait pacing;
    std::array<std::int32_t, TADC::kMaxBlockRecords> ch0Codes{};
    std::array<std::int32_t, TADC::kMaxBlockRecords> ch1Codes{};
};
