// SPDX-License-Identifier: GPL-3.0-or-later
// Each channel's null, scale and limits, as bench meters name them: CALCulate1 (or CALCulate
// without a suffix) for CH0, CALCulate2 for CH1. They take effect from the next run on.

#include "serve/ScpiCommands.h"
#include "serve/ScpiInterpreter.h"
#include "serve/ScpiParameters.h"

namespace {

using namespace ScpiForms;

// A null within the board's one range, ±2.5 V.
constexpr double kLargestNull = 2.5;
constexpr double kLargest = ReadingMath::kLargest;

// The math of the channel the header's suffix names; null after -114 for another suffix.
ReadingMath* Math(ScpiInterpreter& interpreter, const ScpiUnit& unit) {
    const std::optional<std::size_t> channel = ScpiParameters::HeaderChannel(interpreter, unit);
    return channel ? &interpreter.Instrument().Setup().math[*channel] : nullptr;
}

void NullState(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (ReadingMath* math = Math(interpreter, unit)) {
        ScpiParameters::OnOff(interpreter, unit, math->null.fOn);
    }
}

void NullOffset(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (ReadingMath* math = Math(interpreter, unit)) {
        ScpiParameters::Real(interpreter, unit, math->null.volts, -kLargestNull, kLargestNull);
    }
}

void AcquireNull(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (const auto channel = ScpiParameters::HeaderChannel(interpreter, unit)) {
        interpreter.Instrument().AcquireNull(static_cast<int>(*channel));
    }
}

void ScaleState(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (ReadingMath* math = Math(interpreter, unit)) {
        ScpiParameters::OnOff(interpreter, unit, math->scale.fOn);
    }
}

void ScaleGain(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (ReadingMath* math = Math(interpreter, unit)) {
        ScpiParameters::Real(interpreter, unit, math->scale.gain, -kLargest, kLargest);
    }
}

void ScaleOffset(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (ReadingMath* math = Math(interpreter, unit)) {
        ScpiParameters::Real(interpreter, unit, math->scale.offset, -kLargest, kLargest);
    }
}

void ScaleUnit(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    ReadingMath* math = Math(interpreter, unit);
    if (math == nullptr) {
        return;
    }
    if (unit.fQuery) {
        interpreter.Answer() += ScpiParameters::Quoted(math->scale.unit);
    } else if (auto text = ScpiParameters::Text(interpreter, unit.parameters.front(),
                                                ScpiSetupStore::kLongestUnit)) {
        math->scale.unit = std::move(*text);
    }
}

void LimitState(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (ReadingMath* math = Math(interpreter, unit)) {
        ScpiParameters::OnOff(interpreter, unit, math->limit.fOn);
    }
}

void LowerLimit(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (ReadingMath* math = Math(interpreter, unit)) {
        ScpiParameters::Real(interpreter, unit, math->limit.lower, -kLargest, kLargest);
    }
}

void UpperLimit(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (ReadingMath* math = Math(interpreter, unit)) {
        ScpiParameters::Real(interpreter, unit, math->limit.upper, -kLargest, kLargest);
    }
}

// 1 after any reading outside the limits since they were last cleared.
void LimitFailed(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (const auto channel = ScpiParameters::HeaderChannel(interpreter, unit)) {
        interpreter.Answer() +=
            interpreter.Instrument().LimitFailures(static_cast<int>(*channel)) != 0 ? '1' : '0';
    }
}

void ClearLimit(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (const auto channel = ScpiParameters::HeaderChannel(interpreter, unit)) {
        interpreter.Instrument().ClearLimitFailures(static_cast<int>(*channel));
    }
}

constexpr ScpiCommand kCommands[] = {
    {"CALCulate#:NULL[:STATe]", kOneValue, kBare, NullState},
    {"CALCulate#:NULL:OFFSet", kOneValue, kMinMax, NullOffset},
    {"CALCulate#:NULL:OFFSet:ACQuire", kBare, kNone, AcquireNull},
    {"CALCulate#:SCALe[:STATe]", kOneValue, kBare, ScaleState},
    {"CALCulate#:SCALe:GAIN", kOneValue, kMinMax, ScaleGain},
    {"CALCulate#:SCALe:OFFSet", kOneValue, kMinMax, ScaleOffset},
    {"CALCulate#:SCALe:UNIT", kOneValue, kBare, ScaleUnit},
    {"CALCulate#:LIMit[:STATe]", kOneValue, kBare, LimitState},
    {"CALCulate#:LIMit:LOWer[:DATA]", kOneValue, kMinMax, LowerLimit},
    {"CALCulate#:LIMit:UPPer[:DATA]", kOneValue, kMinMax, UpperLimit},
    {"CALCulate#:LIMit:FAIL", kNone, kBare, LimitFailed},
    {"CALCulate#:LIMit:CLEar[:IMMediate]", kBare, kNone, ClearLimit},
};

}  // namespace

std::span<const ScpiCommand> ScpiCalculateCommands::Table() {
    return kCommands;
}
