// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiInterpreter.h"

#include <utility>

#include "serve/ScpiCommandTable.h"

namespace {

// What a FETCh? or READ? whose run another connection ended says besides the samples.
constexpr std::string_view kRunAborted = "run aborted";

bool FetchesData(const ScpiUnit& unit) {
    const ScpiCommand* command = ScpiCommandTable::Find(unit);
    return command != nullptr && (command->traits & ScpiCommand::kFetchesData) != 0;
}

}  // namespace

ScpiInterpreter::ScpiInterpreter(ScpiInstrument& shared, std::function<void()> hardwareErrorSeen)
    : instrument(shared), onHardwareError(std::move(hardwareErrorSeen)) {
    instrument.Attach(this);
}

ScpiInterpreter::~ScpiInterpreter() {
    instrument.Detach(this);
}

void ScpiInterpreter::Receive(std::string_view message, std::string& output) {
    for (ScpiUnit& unit : ScpiParser::Parse(message)) {
        pending.push_back(std::move(unit));
    }
    Run(output);
}

void ScpiInterpreter::RunEnded(const ScpiInstrument::RunEnd& end, std::string& output) {
    if (fOpcAsked) {
        fOpcAsked = false;
        status.SetEvent(StatusRegisters::kOperationComplete);
    }
    if (end.fFailed && end.run == involvedRun) {
        Error(ScpiError::kHardware);
    }
    Run(output);
}

// Only the waiting command runs here, inside the command or wake that ended the run; it reads
// and changes nothing shared.
void ScpiInterpreter::RunEnding(const ScpiInstrument::RunEnd& end) {
    // Every connection's questionable register hears of a limit failure.
    status.SetQuestionable(end.questionable);
    if (!fWaiting) {
        return;
    }
    ScpiUnit& waiting = pending.front();
    if (end.fAborted && FetchesData(waiting)) {
        Error(ScpiError::kExecution, kRunAborted);
    }
    Execute(waiting);
    if (!fWaiting) {
        pending.pop_front();
    }
}

void ScpiInterpreter::Run(std::string& output) {
    fOutputPending = !output.empty();
    while (!pending.empty()) {
        Execute(pending.front());
        if (fWaiting) {
            return;
        }
        pending.pop_front();
    }
    if (fAnswered) {
        // A long block is handed over, not copied, and its room is not kept.
        if (output.empty()) {
            output.swap(response);
        } else {
            output += response;
        }
        output += '\n';
        response = std::string();
        fAnswered = false;
    }
}

void ScpiInterpreter::Execute(ScpiUnit& unit) {
    fWaiting = false;
    ScpiCommandTable::Execute(*this, unit);
}

void ScpiInterpreter::Error(int number, std::string_view detail) {
    errors.Push(number, detail);
    status.NoteError(number);
    if (number == ScpiError::kHardware && onHardwareError) {
        onHardwareError();
    }
}

std::string& ScpiInterpreter::Answer() {
    if (fAnswered) {
        response += ';';
    }
    fAnswered = true;
    return response;
}

void ScpiInterpreter::AskOperationComplete() {
    if (instrument.Busy()) {
        fOpcAsked = true;
    } else {
        status.SetEvent(StatusRegisters::kOperationComplete);
    }
}

bool ScpiInterpreter::AwaitsRunEnd() {
    fWaiting = instrument.Busy();
    if (fWaiting) {
        Involve();
    }
    return fWaiting;
}
