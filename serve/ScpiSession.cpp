// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiSession.h"

#include "serve/ScpiCommands.h"

ScpiSession::ScpiSession(ScpiInstrument& shared) : instrument(shared) {}

void ScpiSession::Receive(std::string_view message, std::string& output) {
    for (ScpiUnit& unit : ScpiParser::Parse(message)) {
        pending.push_back(std::move(unit));
    }
    Run(output);
}

void ScpiSession::RunEnded(const ScpiInstrument::RunEnd& end, std::string& output) {
    if (fOpcAsked) {
        fOpcAsked = false;
        status.SetEvent(StatusRegisters::kOperationComplete);
    }
    if (end.fFailed && end.run == involvedRun) {
        Error(ScpiError::kHardware);
    }
    Run(output);
}

void ScpiSession::Run(std::string& output) {
    fOutputPending = !output.empty();
    while (!pending.empty()) {
        if (ScpiCommands::Execute(*this, pending.front()) == ScpiCommands::Step::Wait) {
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

void ScpiSession::Error(int number) {
    errors.Push(number);
    status.NoteError(number);
}

std::string& ScpiSession::Answer() {
    if (fAnswered) {
        response += ';';
    }
    fAnswered = true;
    return response;
}

void ScpiSession::AskOperationComplete() {
    if (instrument.Busy()) {
        fOpcAsked = true;
    } else {
        status.SetEvent(StatusRegisters::kOperationComplete);
    }
}
