// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/StatusRegisters.h"

void StatusRegisters::NoteError(int number) {
    if (number <= -100 && number > -200) {
        esr |= kCommandError;
    } else if (number <= -200 && number > -300) {
        esr |= kExecutionError;
    } else if (number <= -300 && number > -400) {
        esr |= kDeviceError;
    } else if (number <= -400 && number > -500) {
        esr |= kQueryError;
    }
}

std::uint8_t StatusRegisters::TakeEvents() {
    const std::uint8_t events = esr;
    esr = 0;
    return events;
}

std::uint16_t StatusRegisters::TakeQuestionable() {
    const std::uint16_t events = questionable;
    questionable = 0;
    return events;
}

std::uint8_t StatusRegisters::StatusByte(bool fErrors, bool fOutput) const {
    std::uint8_t stb = 0;
    if (fErrors) {
        stb |= kErrorAvailable;
    }
    if ((questionable & questionableEnable) != 0) {
        stb |= kQuestionableSummary;
    }
    if (fOutput) {
        stb |= kMessageAvailable;
    }
    if ((esr & ese) != 0) {
        stb |= kEventSummary;
    }
    if ((stb & sre) != 0) {
        stb |= kRequestService;
    }
    return stb;
}
