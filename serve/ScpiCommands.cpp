// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiCommands.h"

#include <array>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "analysis/NoiseAnalysis.h"
#include "analysis/NoiseStatistics.h"
#include "analysis/WelchSpectrum.h"
#include "common/SampleRates.h"
#include "serve/ScpiSession.h"

namespace {

using Step = ScpiCommands::Step;
using Kind = ScpiDataFormat::Kind;

constexpr double kPerMicro = 1e-6;
constexpr double kPerNano = 1e-9;
constexpr double kLargestRegister = 255.0;
// The board's one input range, ±2.5 V.
constexpr double kRangeVolts = 2.5;

// The most parameters a form takes: a setting's value, a numeric setting's query MIN|MAX, the
// multimeter forms' range and resolution.
std::size_t MostParameters(ScpiCommand command, bool fQuery) {
    switch (command) {
        case ScpiCommand::Measure:
        case ScpiCommand::Configure:
            return 2;
        case ScpiCommand::EventEnable:
        case ScpiCommand::ServiceEnable:
        case ScpiCommand::Rate:
        case ScpiCommand::Count:
            return 1;
        case ScpiCommand::Format:
            return fQuery ? 0 : 2;
        case ScpiCommand::Filter:
        case ScpiCommand::Scan:
        case ScpiCommand::TriggerSource:
        case ScpiCommand::ByteOrder:
            return fQuery ? 0 : 1;
        default:
            return 0;
    }
}

// The setting forms that take exactly one value and are executed here.
bool TakesOneValue(ScpiCommand command) {
    return MostParameters(command, false) == 1 && command != ScpiCommand::EventEnable &&
           command != ScpiCommand::ServiceEnable;
}

// The setting forms that change what a run measures: refused while one is armed or under way,
// so that its data stay those of the settings a query reports.
bool ChangesRun(ScpiCommand command) {
    return command == ScpiCommand::Rate || command == ScpiCommand::Filter ||
           command == ScpiCommand::Scan || command == ScpiCommand::Count ||
           command == ScpiCommand::TriggerSource || command == ScpiCommand::Configure;
}

// The one value of a setting, or nothing (-109 missing, -108 one too many).
const std::string* OneValue(ScpiSession& session, const ScpiUnit& unit) {
    if (unit.parameters.size() != 1) {
        session.Error(unit.parameters.empty() ? ScpiError::kMissingParameter
                                              : ScpiError::kParameterNotAllowed);
        return nullptr;
    }
    return &unit.parameters.front();
}

// A number within first..last, MINimum and MAXimum included; nothing (-224 not a number,
// -222 out of range) else.
std::optional<double> Numeric(ScpiSession& session, const std::string& text, double first,
                              double last) {
    std::optional<double> value = ScpiParser::Number(text);
    if (ScpiParser::Matches(text, "MINimum")) {
        value = first;
    } else if (ScpiParser::Matches(text, "MAXimum")) {
        value = last;
    } else if (!value) {
        session.Error(ScpiError::kIllegalParameterValue);
        return std::nullopt;
    }
    if (*value < first || *value > last) {
        session.Error(ScpiError::kDataOutOfRange);
        return std::nullopt;
    }
    return value;
}

// The index of the keyword `text` names among `choices`; nothing (-224) for any other.
std::optional<std::size_t> Choice(ScpiSession& session, const std::string& text,
                                  std::initializer_list<std::string_view> choices) {
    std::size_t index = 0;
    for (const std::string_view choice : choices) {
        if (ScpiParser::Matches(text, choice)) {
            return index;
        }
        ++index;
    }
    session.Error(ScpiError::kIllegalParameterValue);
    return std::nullopt;
}

// A setting named by one of two keywords, held in `flag` (true for the second keyword when
// `fFlagIsSecond`, else for the first): the query (`value` null) answers the short form of the
// one in force.
void TwoWay(ScpiSession& session, const std::string* value,
            const std::array<std::string_view, 2>& keywords, bool& flag, bool fFlagIsSecond) {
    if (value == nullptr) {
        session.Answer() += ScpiParser::ShortForm(keywords[flag == fFlagIsSecond ? 1 : 0]);
    } else if (const auto choice = Choice(session, *value, {keywords[0], keywords[1]})) {
        flag = (*choice == 1) == fFlagIsSecond;
    }
}

// A numeric setting's query: the value in force, or with MIN|MAX the least or the most the
// setting takes; nothing (-224) for any other parameter.
std::optional<double> Queried(ScpiSession& session, const ScpiUnit& unit, double current,
                              double first, double last) {
    if (unit.parameters.empty()) {
        return current;
    }
    const auto choice = Choice(session, unit.parameters.front(), {"MINimum", "MAXimum"});
    if (!choice) {
        return std::nullopt;
    }
    return *choice == 0 ? first : last;
}

// The multimeter forms' range and resolution. The range: AUTO, MIN, MAX, DEF or a figure up to
// the board's 2.5 V (-222 beyond). The resolution: MIN, MAX, DEF or a positive figure in volts;
// the rate alone sets it, so it is taken and changes nothing. -224 for any other text. False
// when refused.
bool MultimeterForm(ScpiSession& session, const ScpiUnit& unit) {
    for (std::size_t i = 0; i < unit.parameters.size(); ++i) {
        const std::string& text = unit.parameters[i];
        const bool fRange = i == 0;
        if (ScpiParser::Matches(text, "MINimum") || ScpiParser::Matches(text, "MAXimum") ||
            ScpiParser::Matches(text, "DEFault") || (fRange && ScpiParser::Matches(text, "AUTO"))) {
            continue;
        }
        const std::optional<double> figure = ScpiParser::Number(text);
        if (!figure) {
            session.Error(ScpiError::kIllegalParameterValue);
            return false;
        }
        if (fRange ? std::abs(*figure) > kRangeVolts : *figure <= 0.0) {
            session.Error(ScpiError::kDataOutOfRange);
            return false;
        }
    }
    return true;
}

// A register setting (*ESE, *SRE): 0..255.
std::optional<std::uint8_t> Register(ScpiSession& session, const ScpiUnit& unit) {
    const std::string* text = OneValue(session, unit);
    const std::optional<double> value =
        text ? Numeric(session, *text, 0.0, kLargestRegister) : std::nullopt;
    if (!value) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(std::lround(*value));
}

// The channels of a channel list "(@0)", "(@1)", "(@0,1)" (ranges "0:1" too) as CHSel.
std::optional<int> ChannelSelection(std::string_view text) {
    if (!text.starts_with("(@") || !text.ends_with(')')) {
        return std::nullopt;
    }
    text = text.substr(2, text.size() - 3);
    unsigned mask = 0;
    for (const ScpiUnit& item : ScpiParser::Parse("X " + std::string(text))) {
        for (const std::string& entry : item.parameters) {
            const std::size_t colon = entry.find(':');
            const std::optional<double> from = ScpiParser::Number(entry.substr(0, colon));
            const std::optional<double> to =
                colon == std::string::npos ? from : ScpiParser::Number(entry.substr(colon + 1));
            if (!from || !to || (*from != 0.0 && *from != 1.0) || (*to != 0.0 && *to != 1.0)) {
                return std::nullopt;
            }
            mask |= (1U << static_cast<unsigned>(*from)) | (1U << static_cast<unsigned>(*to));
        }
    }
    if (mask == 0) {
        return std::nullopt;
    }
    return mask == 1 ? 0 : mask == 2 ? 1 : 2;
}

// Figures joined by commas into the answer.
void AppendFigures(std::string& answer, std::initializer_list<double> figures, bool& fFirst) {
    for (const double figure : figures) {
        if (!fFirst) {
            answer += ',';
        }
        fFirst = false;
        ScpiResponse::AppendReal(answer, figure);
    }
}

double OrNotANumber(const std::optional<double>& figure, double scale = 1.0) {
    return figure ? *figure * scale : ScpiResponse::kNotANumber;
}

}  // namespace

Step ScpiCommands::Execute(ScpiSession& session, ScpiUnit& unit) {
    if (unit.error != 0) {
        session.Error(unit.error);
        return Step::Done;
    }
    const std::optional<ScpiCommand> command = ScpiCommandTable::Find(unit);
    if (!command) {
        session.Error(ScpiError::kUndefinedHeader);
        return Step::Done;
    }
    if (unit.parameters.size() > MostParameters(*command, unit.fQuery)) {
        session.Error(ScpiError::kParameterNotAllowed);
        return Step::Done;
    }
    switch (*command) {
        case ScpiCommand::Identify:
        case ScpiCommand::Reset:
        case ScpiCommand::Clear:
        case ScpiCommand::EventEnable:
        case ScpiCommand::EventRegister:
        case ScpiCommand::ServiceEnable:
        case ScpiCommand::StatusByte:
        case ScpiCommand::OperationComplete:
        case ScpiCommand::Wait:
        case ScpiCommand::SelfTest:
        case ScpiCommand::Trigger:
            return Common(session, *command, unit);
        case ScpiCommand::Initiate:
        case ScpiCommand::Abort:
        case ScpiCommand::Read:
        case ScpiCommand::Measure:
            return Run(session, *command, unit);
        case ScpiCommand::Fetch:
        case ScpiCommand::FetchCode:
        case ScpiCommand::Points:
        case ScpiCommand::Average:
        case ScpiCommand::Noise:
        case ScpiCommand::Error:
        case ScpiCommand::ErrorCount:
        case ScpiCommand::Version:
            return Data(session, *command);
        default:
            return Settings(session, *command, unit);
    }
}

Step ScpiCommands::Common(ScpiSession& session, ScpiCommand command, const ScpiUnit& unit) {
    ScpiInstrument& instrument = session.Instrument();
    StatusRegisters& status = session.Status();
    switch (command) {
        case ScpiCommand::Identify:
            session.Answer() += instrument.Identity();
            break;
        case ScpiCommand::Reset:
            instrument.Reset();
            session.Format() = {};
            break;
        case ScpiCommand::Clear:
            session.Errors().Clear();
            status.ClearEvents();
            break;
        case ScpiCommand::EventEnable:
        case ScpiCommand::ServiceEnable: {
            const bool fEvent = command == ScpiCommand::EventEnable;
            if (unit.fQuery) {
                const double mask = fEvent ? status.EventEnable() : status.ServiceEnable();
                if (const auto answer = Queried(session, unit, mask, 0.0, kLargestRegister)) {
                    session.Answer() += std::to_string(std::lround(*answer));
                }
            } else if (const auto mask = Register(session, unit)) {
                fEvent ? status.SetEventEnable(*mask) : status.SetServiceEnable(*mask);
            }
            break;
        }
        case ScpiCommand::EventRegister:
            session.Answer() += std::to_string(status.TakeEvents());
            break;
        case ScpiCommand::StatusByte:
            session.Answer() += std::to_string(
                status.StatusByte(session.Errors().Count() > 0, session.OutputPending()));
            break;
        case ScpiCommand::OperationComplete:
        case ScpiCommand::Wait:
            if (unit.fQuery || command == ScpiCommand::Wait) {
                if (instrument.Busy()) {
                    session.Involve();  // what it waits for may fail
                    return Step::Wait;
                }
                if (unit.fQuery) {
                    session.Answer() += '1';
                }
            } else {
                session.AskOperationComplete();
            }
            break;
        case ScpiCommand::SelfTest:
            session.Answer() += std::to_string(instrument.SelfTest());
            break;
        default:  // *TRG
            if (const int error = instrument.Trigger(); error != 0) {
                session.Error(error);
            } else {
                session.Involve();
            }
            break;
    }
    return Step::Done;
}

Step ScpiCommands::Settings(ScpiSession& session, ScpiCommand command, const ScpiUnit& unit) {
    ScpiInstrument& instrument = session.Instrument();
    ScpiInstrument::Settings& setup = instrument.Setup();
    if (!unit.fQuery && ChangesRun(command) && instrument.Busy()) {
        session.Error(ScpiError::kSettingsConflict);
        return Step::Done;
    }
    const std::string* value = nullptr;
    if (!unit.fQuery && TakesOneValue(command)) {
        value = OneValue(session, unit);
        if (value == nullptr) {
            return Step::Done;  // the missing or extra value is reported
        }
    }
    switch (command) {
        case ScpiCommand::Rate:
            Rate(session, unit, value);
            break;
        case ScpiCommand::Filter:
            TwoWay(session, value, {"SINC5", "SINC3"}, setup.fSinc5, false);
            break;
        case ScpiCommand::Scan:
            Scan(session, value);
            break;
        case ScpiCommand::Count:
            if (unit.fQuery) {
                if (const auto count = Queried(session, unit, static_cast<double>(setup.count), 1.0,
                                               Acquisition::kMaxStartCount)) {
                    session.Answer() += std::to_string(std::llround(*count));
                }
            } else if (const auto count =
                           Numeric(session, *value, 1.0, Acquisition::kMaxStartCount)) {
                setup.count = std::llround(*count);
            }
            break;
        case ScpiCommand::TriggerSource:
            TwoWay(session, value, {"IMMediate", "BUS"}, setup.fBusTrigger, true);
            break;
        case ScpiCommand::Configure:
            if (MultimeterForm(session, unit)) {
                instrument.Configure();
            }
            break;
        case ScpiCommand::Format:
            Format(session, unit);
            break;
        default:  // FORMat:BORDer
            TwoWay(session, value, {"NORMal", "SWAPped"}, session.Format().fSwapped, true);
            break;
    }
    return Step::Done;
}

void ScpiCommands::Rate(ScpiSession& session, const ScpiUnit& unit, const std::string* value) {
    ScpiInstrument::Settings& setup = session.Instrument().Setup();
    const double slowest = SampleRates::SamplesPerSecond(0, setup.fSinc5);
    const double fastest = SampleRates::SamplesPerSecond(kRateCount - 1, setup.fSinc5);
    if (value == nullptr) {
        const double rate = SampleRates::SamplesPerSecond(setup.spsSel, setup.fSinc5);
        if (const auto answer = Queried(session, unit, rate, slowest, fastest)) {
            ScpiResponse::AppendReal(session.Answer(), *answer);
        }
    } else if (const auto rate = Numeric(session, *value, slowest, fastest)) {
        setup.spsSel = SampleRates::NearestIndex(*rate, setup.fSinc5);
    }
}

void ScpiCommands::Scan(ScpiSession& session, const std::string* value) {
    ScpiInstrument::Settings& setup = session.Instrument().Setup();
    if (value == nullptr) {
        constexpr const char* kLists[] = {"(@0)", "(@1)", "(@0,1)"};
        session.Answer() += kLists[setup.chSel];
        return;
    }
    if (const std::optional<int> selection = ChannelSelection(*value)) {
        setup.chSel = *selection;
    } else {
        session.Error(ScpiError::kIllegalParameterValue);
    }
}

void ScpiCommands::Format(ScpiSession& session, const ScpiUnit& unit) {
    ScpiDataFormat& format = session.Format();
    if (unit.fQuery) {
        constexpr const char* kNames[] = {"ASC", "REAL,32", "REAL,64"};
        session.Answer() += kNames[static_cast<int>(format.kind)];
        return;
    }
    const std::vector<std::string>& values = unit.parameters;
    if (values.empty() || values.size() > 2) {
        session.Error(values.empty() ? ScpiError::kMissingParameter
                                     : ScpiError::kParameterNotAllowed);
        return;
    }
    const auto kind = Choice(session, values[0], {"ASCii", "REAL"});
    if (!kind) {
        return;
    }
    if (*kind == 0) {
        if (values.size() == 2) {
            session.Error(ScpiError::kParameterNotAllowed);
        } else {
            format.kind = Kind::Ascii;
        }
        return;
    }
    const std::optional<double> length =
        values.size() == 2 ? ScpiParser::Number(values[1]) : std::optional<double>(64.0);
    if (length != 32.0 && length != 64.0) {
        session.Error(ScpiError::kIllegalParameterValue);
        return;
    }
    format.kind = length == 32.0 ? Kind::Real32 : Kind::Real64;
}

Step ScpiCommands::Run(ScpiSession& session, ScpiCommand command, ScpiUnit& unit) {
    ScpiInstrument& instrument = session.Instrument();
    if (command == ScpiCommand::Abort) {
        instrument.Abort();
        return Step::Done;
    }
    if (command == ScpiCommand::Measure) {
        if (instrument.Busy()) {
            session.Error(ScpiError::kSettingsConflict);
            return Step::Done;
        }
        if (!MultimeterForm(session, unit)) {
            return Step::Done;
        }
        instrument.Configure();
    } else if (command == ScpiCommand::Read && !instrument.Busy() &&
               instrument.Setup().fBusTrigger) {
        // The run would wait for a *TRG that this connection, waiting, could never send.
        session.Error(ScpiError::kTriggerDeadlock);
        return Step::Done;
    }
    if (const int error = instrument.Initiate(); error != 0) {
        session.Error(error);
        return Step::Done;
    }
    session.Involve();
    if (command == ScpiCommand::Initiate) {
        return Step::Done;
    }
    // READ? and MEASure? go on as FETCh? of the run just started.
    unit.header = {"FETCH"};
    unit.parameters.clear();
    return Data(session, ScpiCommand::Fetch);
}

Step ScpiCommands::Data(ScpiSession& session, ScpiCommand command) {
    ScpiInstrument& instrument = session.Instrument();
    const Measurement& samples = instrument.Samples();
    switch (command) {
        case ScpiCommand::Fetch:
        case ScpiCommand::FetchCode:
            if (instrument.Busy()) {
                session.Involve();  // a failed run's samples come with the error
                return Step::Wait;
            }
            if (samples.Acquired() == 0) {
                session.Error(ScpiError::kDataStale);
            } else {
                ScpiResponse::AppendSamples(session.Answer(), samples.Taken(0), samples.Taken(1),
                                            samples.Settings.GainFactor,
                                            command == ScpiCommand::FetchCode, session.Format());
            }
            break;
        case ScpiCommand::Points:
            session.Answer() += std::to_string(samples.Acquired());
            break;
        case ScpiCommand::Average:
            Average(session);
            break;
        case ScpiCommand::Noise:
            Noise(session);
            break;
        case ScpiCommand::Error:
            session.Answer() += session.Errors().Next();
            break;
        case ScpiCommand::ErrorCount:
            session.Answer() += std::to_string(session.Errors().Count());
            break;
        default:  // SYSTem:VERSion?
            session.Answer() += "1999.0";
            break;
    }
    return Step::Done;
}

void ScpiCommands::Average(ScpiSession& session) {
    const Measurement& samples = session.Instrument().Samples();
    if (samples.Acquired() == 0) {
        session.Error(ScpiError::kDataStale);
        return;
    }
    const std::int32_t gain = samples.Settings.GainFactor;
    std::string& answer = session.Answer();
    bool fFirst = true;
    for (const int channel : {0, 1}) {
        const std::span<const std::int32_t> codes = samples.Taken(channel);
        if (codes.empty()) {
            continue;
        }
        NoiseStatisticsSums sums;
        sums.Add(codes);
        const NoiseStatistics statistics =
            sums.Result(SampleRates::SamplesPerSecond(samples.Settings));
        // One sample has no spread.
        const double deviation = statistics.count >= NoiseAnalysis::kMinSamples
                                     ? statistics.rmsMicrovolts * kPerMicro
                                     : ScpiResponse::kNotANumber;
        AppendFigures(answer,
                      {statistics.meanMicrovolts * kPerMicro, deviation,
                       ScpiResponse::Volts(statistics.minCode, gain),
                       ScpiResponse::Volts(statistics.maxCode, gain)},
                      fFirst);
    }
}

void ScpiCommands::Noise(ScpiSession& session) {
    const Measurement& samples = session.Instrument().Samples();
    if (samples.Acquired() == 0) {
        session.Error(ScpiError::kDataStale);
        return;
    }
    const double rate = SampleRates::SamplesPerSecond(samples.Settings);
    std::string& answer = session.Answer();
    bool fFirst = true;
    for (const int channel : {0, 1}) {
        const std::span<const std::int32_t> codes = samples.Taken(channel);
        if (codes.empty()) {
            continue;
        }
        if (std::ssize(codes) < NoiseAnalysis::kMinSamples) {
            constexpr double kNone = ScpiResponse::kNotANumber;
            AppendFigures(answer, {kNone, kNone, kNone, kNone, kNone}, fFirst);
            continue;
        }
        const NoiseStatistics statistics = NoiseStatistics::Compute(codes, rate);
        const NoiseSpectrum spectrum = WelchSpectrum::Compute(codes, rate);
        AppendFigures(
            answer,
            {statistics.rmsMicrovolts * kPerMicro, statistics.peakToPeakMicrovolts * kPerMicro,
             statistics.effectiveResolutionBits, statistics.noiseFreeResolutionBits,
             OrNotANumber(spectrum.whiteNoiseNanovoltsPerRootHz, kPerNano)},
            fFirst);
    }
}
