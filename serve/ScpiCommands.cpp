// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiCommands.h"

#include <cmath>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "common/SampleRates.h"
#include "serve/ScpiFigures.h"
#include "serve/ScpiInterpreter.h"
#include "serve/ScpiParameters.h"

namespace {

using Kind = ScpiDataFormat::Kind;

constexpr unsigned kLargestRegister = 255;

// A command's forms by what they take.
using namespace ScpiForms;
constexpr ScpiForm kRangeResolution{true, 0, 2};  // the multimeter forms
constexpr ScpiForm kTypeLength{true, 1, 2};       // FORMat's type and its length

// --- The common commands and the system's.

void Identify(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Answer() += interpreter.Instrument().Identity();
}

void Reset(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Instrument().Reset();
    interpreter.Format() = {};
}

void Clear(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Errors().Clear();
    interpreter.Status().ClearEvents();
}

// *ESE and *SRE: a mask of 0..255.
void EnableMask(ScpiInterpreter& interpreter, const ScpiUnit& unit, std::uint8_t current,
                void (StatusRegisters::*set)(std::uint8_t)) {
    if (const auto mask = ScpiParameters::Mask(interpreter, unit, current, kLargestRegister)) {
        (interpreter.Status().*set)(static_cast<std::uint8_t>(*mask));
    }
}

void EventEnable(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    EnableMask(interpreter, unit, interpreter.Status().EventEnable(),
               &StatusRegisters::SetEventEnable);
}

void ServiceEnable(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    EnableMask(interpreter, unit, interpreter.Status().ServiceEnable(),
               &StatusRegisters::SetServiceEnable);
}

void EventRegister(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Answer() += std::to_string(interpreter.Status().TakeEvents());
}

void StatusByte(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Answer() += std::to_string(interpreter.Status().StatusByte(
        interpreter.Errors().Count() > 0, interpreter.OutputPending()));
}

void OperationComplete(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (!unit.fQuery) {
        interpreter.AskOperationComplete();
    } else if (!interpreter.AwaitsRunEnd()) {
        interpreter.Answer() += '1';
    }
}

void Wait(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.AwaitsRunEnd();
}

void SelfTest(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Answer() += std::to_string(interpreter.Instrument().SelfTest());
}

void Trigger(ScpiInterpreter& interpreter, ScpiUnit&) {
    if (const int error = interpreter.Instrument().Trigger(); error != 0) {
        interpreter.Error(error);
    } else {
        interpreter.Involve();
    }
}

void Error(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Answer() += interpreter.Errors().Next();
}

void ErrorCount(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Answer() += std::to_string(interpreter.Errors().Count());
}

void Version(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Answer() += "1999.0";
}

// --- The settings of a run and of the data's format.

void Rate(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    MeasureSettings& setup = interpreter.Instrument().Setup().run.settings;
    const double slowest = SampleRates::SamplesPerSecond(0, setup.fSinc5);
    const double fastest = SampleRates::SamplesPerSecond(kRateCount - 1, setup.fSinc5);
    if (unit.fQuery) {
        const double rate = SampleRates::SamplesPerSecond(setup);
        if (const auto answer =
                ScpiParameters::Queried(interpreter, unit, rate, slowest, fastest)) {
            ScpiResponse::AppendReal(interpreter.Answer(), *answer);
        }
    } else if (const auto rate = ScpiParameters::Numeric(interpreter, unit.parameters.front(),
                                                         slowest, fastest)) {
        setup.spsSel = SampleRates::NearestIndex(*rate, setup.fSinc5);
    }
}

void Filter(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    ScpiParameters::TwoWay(interpreter, unit, {"SINC5", "SINC3"},
                           interpreter.Instrument().Setup().run.settings.fSinc5, false);
}

void Scan(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    MeasureSettings& setup = interpreter.Instrument().Setup().run.settings;
    if (unit.fQuery) {
        constexpr const char* kLists[] = {"(@0)", "(@1)", "(@0,1)"};
        interpreter.Answer() += kLists[setup.CHSel];
    } else if (const std::optional<int> selection =
                   ScpiParameters::ChannelSelection(unit.parameters.front())) {
        setup.CHSel = *selection;
    } else {
        interpreter.Error(ScpiError::kIllegalParameterValue);
    }
}

// Samples, or readings over line cycles: as many as a run holds the samples of.
void Count(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    RunRequest& setup = interpreter.Instrument().Setup().run;
    const auto kMost = static_cast<double>(interpreter.Instrument().MostReadings());
    if (unit.fQuery) {
        if (const auto count = ScpiParameters::Queried(
                interpreter, unit, static_cast<double>(setup.count), 1.0, kMost)) {
            interpreter.Answer() += std::to_string(std::llround(*count));
        }
    } else if (const auto count =
                   ScpiParameters::Numeric(interpreter, unit.parameters.front(), 1.0, kMost)) {
        setup.count = std::llround(*count);
    }
}

void TriggerSource(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    ScpiParameters::TwoWay(interpreter, unit, {"IMMediate", "BUS"},
                           interpreter.Instrument().Setup().fBusTrigger, true);
}

void Configure(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (ScpiParameters::MultimeterForm(interpreter, unit)) {
        interpreter.Instrument().Configure();
    }
}

void Format(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    ScpiDataFormat& format = interpreter.Format();
    if (unit.fQuery) {
        constexpr const char* kNames[] = {"ASC", "REAL,32", "REAL,64"};
        interpreter.Answer() += kNames[static_cast<int>(format.kind)];
        return;
    }
    const std::vector<std::string>& values = unit.parameters;
    const auto kind = ScpiParameters::Choice(interpreter, values[0], {"ASCii", "REAL"});
    if (!kind) {
        return;
    }
    if (*kind == 0) {
        if (values.size() == 2) {
            interpreter.Error(ScpiError::kParameterNotAllowed);
        } else {
            format.kind = Kind::Ascii;
        }
        return;
    }
    const std::optional<double> length =
        values.size() == 2 ? ScpiParser::Number(values[1]) : std::optional<double>(64.0);
    if (length != 32.0 && length != 64.0) {
        interpreter.Error(ScpiError::kIllegalParameterValue);
    } else {
        format.kind = length == 32.0 ? Kind::Real32 : Kind::Real64;
    }
}

void ByteOrder(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    ScpiParameters::TwoWay(interpreter, unit, {"NORMal", "SWAPped"}, interpreter.Format().fSwapped,
                           true);
}

// --- The run and its data.

// INIT, READ? and MEASure?: false when the run could not be started (reported).
bool Started(ScpiInterpreter& interpreter) {
    if (const int error = interpreter.Instrument().Initiate(); error != 0) {
        interpreter.Error(error, error == ScpiError::kSettingsConflict
                                     ? "readings need more samples than a run holds"
                                     : "");
        return false;
    }
    interpreter.Involve();
    return true;
}

void Initiate(ScpiInterpreter& interpreter, ScpiUnit&) {
    Started(interpreter);
}

void Abort(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Instrument().Abort();
}

// FETCh? and FETCh:CODE?: the last run's readings or its raw samples, once it has ended.
void Samples(ScpiInterpreter& interpreter, bool fCodes) {
    if (interpreter.AwaitsRunEnd()) {
        return;  // a failed run's samples come with the error
    }
    const ScpiInstrument& instrument = interpreter.Instrument();
    const Measurement& samples = instrument.Samples();
    if (samples.Acquired() == 0) {
        interpreter.Error(ScpiError::kDataStale);
    } else if (fCodes) {
        ScpiResponse::AppendCodes(interpreter.Answer(), samples.Taken(0), samples.Taken(1),
                                  interpreter.Format());
    } else {
        ScpiResponse::AppendValues(interpreter.Answer(), instrument.Values(0), instrument.Values(1),
                                   interpreter.Format());
    }
}

void Fetch(ScpiInterpreter& interpreter, ScpiUnit&) {
    Samples(interpreter, false);
}

void FetchCode(ScpiInterpreter& interpreter, ScpiUnit&) {
    Samples(interpreter, true);
}

// READ? and MEASure? go on as FETCh? of the run they start.
void StartAndFetch(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (!Started(interpreter)) {
        return;
    }
    unit.header = {"FETCH"};
    unit.parameters.clear();
    Fetch(interpreter, unit);
}

void Read(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    ScpiInstrument& instrument = interpreter.Instrument();
    if (!instrument.Busy() && instrument.Setup().fBusTrigger) {
        // The run would wait for a *TRG that this connection, waiting, could never send.
        interpreter.Error(ScpiError::kTriggerDeadlock);
        return;
    }
    StartAndFetch(interpreter, unit);
}

void Measure(ScpiInterpreter& interpreter, ScpiUnit& unit) {
    if (interpreter.Instrument().Busy()) {
        interpreter.Error(ScpiError::kSettingsConflict);
        return;
    }
    if (!ScpiParameters::MultimeterForm(interpreter, unit)) {
        return;
    }
    interpreter.Instrument().Configure();
    StartAndFetch(interpreter, unit);
}

void Points(ScpiInterpreter& interpreter, ScpiUnit&) {
    interpreter.Answer() += std::to_string(interpreter.Instrument().Readings());
}

// The figures of each channel of the last run, CH0's first, joined by commas.
template <auto kFigures>
void Figures(ScpiInterpreter& interpreter, ScpiUnit&) {
    const Measurement& samples = interpreter.Instrument().Samples();
    if (samples.Acquired() == 0) {
        interpreter.Error(ScpiError::kDataStale);
        return;
    }
    std::string& answer = interpreter.Answer();
    bool fFirst = true;
    for (const int channel : {0, 1}) {
        const std::span<const std::int32_t> codes = samples.Taken(channel);
        for (const double figure :
             codes.empty() ? std::vector<double>() : kFigures(codes, samples.Settings)) {
            answer += fFirst ? "" : ",";
            fFirst = false;
            ScpiResponse::AppendReal(answer, figure);
        }
    }
}

constexpr auto kChangesRun = ScpiCommand::kChangesRun;
constexpr auto kFetchesData = ScpiCommand::kFetchesData;

// Looked up in this order; the setting form, the query form, what the command does.
constexpr ScpiCommand kCommands[] = {
    {"*IDN", kNone, kBare, Identify},
    {"*RST", kBare, kNone, Reset},
    {"*CLS", kBare, kNone, Clear},
    {"*ESE", kOneValue, kMinMax, EventEnable},
    {"*ESR", kNone, kBare, EventRegister},
    {"*SRE", kOneValue, kMinMax, ServiceEnable},
    {"*STB", kNone, kBare, StatusByte},
    {"*OPC", kBare, kBare, OperationComplete},
    {"*WAI", kBare, kNone, Wait},
    {"*TST", kNone, kBare, SelfTest},
    {"*TRG", kBare, kNone, Trigger},
    {"[SENSe:]VOLTage[:DC]:RATE", kOneValue, kMinMax, Rate, kChangesRun},
    {"[SENSe:]VOLTage[:DC]:FILTer", kOneValue, kBare, Filter, kChangesRun},
    {"ROUTe:SCAN", kOneValue, kBare, Scan, kChangesRun},
    {"SAMPle:COUNt", kOneValue, kMinMax, Count, kChangesRun},
    {"TRIGger:SOURce", kOneValue, kBare, TriggerSource, kChangesRun},
    {"INITiate[:IMMediate]", kBare, kNone, Initiate},
    {"ABORt", kBare, kNone, Abort},
    {"FETCh:CODE", kNone, kBare, FetchCode, kFetchesData},
    {"FETCh[:VOLTage][:DC]", kNone, kBare, Fetch, kFetchesData},
    {"READ", kNone, kBare, Read},
    {"MEASure[:VOLTage][:DC]", kNone, kRangeResolution, Measure},
    {"CONFigure[:VOLTage][:DC]", kRangeResolution, kNone, Configure, kChangesRun},
    {"DATA:POINts", kNone, kBare, Points},
    {"FORMat[:DATA]", kTypeLength, kBare, Format},
    {"FORMat:BORDer", kOneValue, kBare, ByteOrder},
    {"CALCulate:AVERage:ALL", kNone, kBare, Figures<ScpiFigures::Average>},
    {"CALCulate:NOISe", kNone, kBare, Figures<ScpiFigures::Noise>},
    {"CALCulate:DYNamic", kNone, kBare, Figures<ScpiFigures::Dynamic>},
    {"SYSTem:ERRor[:NEXT]", kNone, kBare, Error},
    {"SYSTem:ERRor:COUNt", kNone, kBare, ErrorCount},
    {"SYSTem:VERSion", kNone, kBare, Version},
};

}  // namespace

std::span<const ScpiCommand> ScpiCommands::Table() {
    static const std::vector<ScpiCommand> all = [] {
        std::vector<ScpiCommand> commands(std::begin(kCommands), std::end(kCommands));
        for (const auto more : {ScpiMeterCommands::Table(), ScpiCalculateCommands::Table()}) {
            commands.insert(commands.end(), more.begin(), more.end());
        }
        return commands;
    }();
    return all;
}
