// SPDX-License-Identifier: GPL-3.0-or-later
// A bench meter's settings: readings integrated over power-line cycles and the line frequency,
// the questionable status register that a failed limit sets, and the five saved setups.

#include <cmath>

#include "serve/ScpiCommands.h"
#include "serve/ScpiInterpreter.h"
#include "serve/ScpiParameters.h"

namespace {

using namespace ScpiForms;

constexpr unsigned kLargestMask = 65535;
constexpr int kLineFrequencies[] = {50, 60};

// [SENSe:]VOLTage:NPLCycles: 0.02 to 100 cycles per reading; 0 (also *RST's) leaves every
// sample a reading.
void LineCycles(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    ReadingAperture& aperture = interpreter.Instrument().Setup().aperture;
    if (!unit.fQuery && ScpiParser::Number(unit.parameters.front()) == 0.0) {
        aperture.lineCycles = 0.0;
        return;
    }
    ScpiParameters::Real(interpreter, unit, aperture.lineCycles, ReadingAperture::kLeastCycles,
                         ReadingAperture::kMostCycles);
}

// SYSTem:LFRequency 50|60 (MIN, MAX).
void LineFrequency(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    int& lineHz = interpreter.Instrument().Setup().aperture.lineHz;
    if (unit.fQuery) {
        interpreter.Answer() += std::to_string(lineHz);
        return;
    }
    const auto value = ScpiParameters::Numeric(interpreter, unit.parameters.front(),
                                               kLineFrequencies[0], kLineFrequencies[1]);
    if (value && *value != kLineFrequencies[0] && *value != kLineFrequencies[1]) {
        interpreter.Error(ScpiError::kIllegalParameterValue);
    } else if (value) {
        lineHz = static_cast<int>(*value);
    }
}

void QuestionableEvent(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Answer() += std::to_string(interpreter.Status().TakeQuestionable());
}

void QuestionableCondition(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Answer() += std::to_string(interpreter.Instrument().QuestionableCondition());
}

void QuestionableEnable(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    StatusRegisters& status = interpreter.Status();
    if (const auto mask =
            ScpiParameters::Mask(interpreter, unit, status.QuestionableEnable(), kLargestMask)) {
        status.SetQuestionableEnable(static_cast<std::uint16_t>(*mask));
    }
}

// STATus:PRESet: the questionable events no longer reach the status byte.
void Preset(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Status().SetQuestionableEnable(0);
}

// *SAV and *RCL: the setup 0 to 4; nothing for another figure (reported).
std::optional<int> SetupNumber(ScpiInterpreter& interpreter, const ScpiUnit& unit) {
    const auto number = ScpiParameters::Numeric(interpreter, unit.parameters.front(), 0.0,
                                                ScpiSetupStore::kSetups - 1);
    if (number && *number != std::floor(*number)) {
        interpreter.Error(ScpiError::kIllegalParameterValue);
        return std::nullopt;
    }
    return number ? std::optional(static_cast<int>(*number)) : std::nullopt;
}

void Save(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    ScpiInstrument& instrument = interpreter.Instrument();
    if (const auto number = SetupNumber(interpreter, unit);
        number &&
        instrument.Setups().Save(*number, instrument.Setup()) != ScpiSetupStore::Result::Done) {
        interpreter.Error(ScpiError::kMassStorage);
    }
}

void Recall(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    ScpiInstrument& instrument = interpreter.Instrument();
    const auto number = SetupNumber(interpreter, unit);
    if (!number) {
        return;
    }
    switch (instrument.Setups().Recall(*number, instrument.Setup())) {
        case ScpiSetupStore::Result::Done:
            break;
        case ScpiSetupStore::Result::Empty:
            interpreter.Error(ScpiError::kExecution, "no setup saved there");
            break;
        case ScpiSetupStore::Result::Failed:
            interpreter.Error(ScpiError::kMassStorage);
            break;
    }
}

constexpr auto kChangesRun = ScpiCommand::kChangesRun;

constexpr ScpiCommand kCommands[] = {
    {"[SENSe:]VOLTage[:DC]:NPLCycles", kOneValue, kMinMax, LineCycles, kChangesRun},
    {"SYSTem:LFRequency", kOneValue, kBare, LineFrequency, kChangesRun},
    {"STATus:QUEStionable[:EVENt]", kNone, kBare, QuestionableEvent},
    {"STATus:QUEStionable:CONDition", kNone, kBare, QuestionableCondition},
    {"STATus:QUEStionable:ENABle", kOneValue, kMinMax, QuestionableEnable},
    {"STATus:PRESet", kBare, kNone, Preset},
    {"*SAV", kOneValue, kNone, Save},
    {"*RCL", kOneValue, kNone, Recall, kChangesRun},
};

}  // namespace

std::span<const ScpiCommand> ScpiMeterCommands::Table() {
    return kCommands;
}
