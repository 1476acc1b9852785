// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "serve/ErrorQueue.h"
#include "serve/ScpiInstrument.h"
#include "serve/ScpiParser.h"
#include "serve/ScpiResponse.h"
#include "serve/StatusRegisters.h"

// One connection's side of the instrument: its error queue, status registers and data format,
// and the execution of its program messages in order. A command that waits for the end of a
// run (FETCh?, READ?, *OPC?, *WAI) holds back the rest of its message and every later one;
// it completes the moment the run ends (a FETCh? then holds that run's samples, whatever
// another connection does next), the rest of its message when the run's end is told. The
// answers of one message's queries leave as one response message, joined by ";".
class ScpiInterpreter : private ScpiInstrument::Listener {
public:
    // `onHardwareError` is called for each -240 the connection is given.
    explicit ScpiInterpreter(ScpiInstrument& shared, std::function<void()> onHardwareError = {});
    ~ScpiInterpreter();
    ScpiInterpreter(const ScpiInterpreter&) = delete;
    ScpiInterpreter& operator=(const ScpiInterpreter&) = delete;

    // One program message, without its line end; a response goes to `output`, ended by LF.
    void Receive(std::string_view message, std::string& output);
    // A run's end is told: the rest of a waiting message goes on.
    void RunEnded(const ScpiInstrument::RunEnd& end, std::string& output);
    // A message waits for a run's end or for its response to be handed over; later messages
    // must wait too.
    bool Waiting() const { return !pending.empty() || fAnswered; }

    // For the commands:
    ScpiInstrument& Instrument() { return instrument; }
    ErrorQueue& Errors() { return errors; }
    StatusRegisters& Status() { return status; }
    ScpiDataFormat& Format() { return format; }
    void Error(int number, std::string_view detail = {});
    // The text of the next answer in this message's response.
    std::string& Answer();
    // The run just armed or started, or waited for, is this connection's: it hears of its
    // failure.
    void Involve() { involvedRun = instrument.RunNumber(); }
    // The command being executed waits for the end of the run armed or under way, if there is
    // one, and is executed again then; the run becomes this connection's. False without a run.
    bool AwaitsRunEnd();
    // *OPC: the operation-complete event at the end of the run in progress, or now.
    void AskOperationComplete();
    bool OutputPending() const { return fOutputPending; }

private:
    void RunEnding(const ScpiInstrument::RunEnd& end) override;
    void Run(std::string& output);
    void Execute(ScpiUnit& unit);

    ScpiInstrument& instrument;
    std::function<void()> onHardwareError;
    ErrorQueue errors;
    StatusRegisters status;
    ScpiDataFormat format;
    std::deque<ScpiUnit> pending;  // the rest of the message being executed
    std::string response;
    bool fAnswered = false;
    bool fOpcAsked = false;
    bool fOutputPending = false;
    bool fWaiting = false;  // the first pending command waits for the run's end
    std::uint64_t involvedRun = 0;
};
