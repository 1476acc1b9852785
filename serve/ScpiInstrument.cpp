// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiInstrument.h"

#include <utility>

#include "serve/ErrorQueue.h"
#include "serve/StatusRegisters.h"

namespace {

// A board that sends nothing for this long (plus two sample periods) has failed the run.
constexpr double kNoDataSeconds = 3.0;

}  // namespace

ScpiInstrument::ScpiInstrument(TADC& adc, Acquisition::NowFunction now)
    : board(adc), engine(adc, std::move(now)) {}

Acquisition::StartResult ScpiInstrument::Identify() {
    const Acquisition::StartResult result = engine.Identify();
    fAnswering = result == Acquisition::StartResult::Started;
    if (result == Acquisition::StartResult::Started) {
        serialNumber = board.SerialNumber();
    }
    return result;
}

std::string ScpiInstrument::Identity() const {
    return "SELKORAN,SELKORAN Board," + SerialNumber() + ',' + Version();
}

std::string ScpiInstrument::SerialNumber() const {
    return serialNumber.empty() ? std::string("0") : serialNumber;
}

int ScpiInstrument::SelfTest() {
    if (Running()) {
        return 0;
    }
    return Identify() == Acquisition::StartResult::Started ? 0 : 1;
}

void ScpiInstrument::SetPowerOnLineFrequency(int lineHz) {
    powerOnLineHz = lineHz;
    settings.aperture.lineHz = lineHz;
}

std::int64_t ScpiInstrument::SamplesPerReading() const {
    return settings.aperture.SamplesPerReading(
        SampleRates::SamplesPerSecond(settings.run.settings));
}

std::int64_t ScpiInstrument::MostReadings() const {
    return Acquisition::kMaxStartCount / SamplesPerReading();
}

int ScpiInstrument::Initiate() {
    if (Busy()) {
        return ScpiError::kInitIgnored;
    }
    // The samples of a run are held whole, so that FETCh:CODE? gives those of its readings.
    if (settings.run.count > MostReadings()) {
        return ScpiError::kSettingsConflict;
    }
    ++runNumber;
    samples.Clear();
    if (settings.fBusTrigger) {
        state = State::Armed;
        return 0;
    }
    return StartRun();
}

int ScpiInstrument::Trigger() {
    return state == State::Armed ? StartRun() : ScpiError::kTriggerIgnored;
}

int ScpiInstrument::StartRun() {
    runPerReading = SamplesPerReading();
    runMath = settings.math;
    fRunTakesNull = std::exchange(fAcquireNull, {});
    RunRequest request = settings.run;
    request.count *= runPerReading;
    const double seconds = kNoDataSeconds + 2.0 / SampleRates::SamplesPerSecond(request.settings);
    request.noDataTimeout = std::chrono::duration_cast<Acquisition::Clock::duration>(
        std::chrono::duration<double>(seconds));
    const auto identification = fIdentifyNext ? Acquisition::Identification::Always
                                              : Acquisition::Identification::WhenUnknown;
    if (engine.Start(request, {&samples}, identification) != Acquisition::StartResult::Started) {
        Ended(true);
        return ScpiError::kHardware;
    }
    state = State::Running;
    fIdentifyNext = false;
    fAnswering = true;
    serialNumber = board.SerialNumber();
    return 0;
}

void ScpiInstrument::Wake() {
    engine.Wake();
    if (state == State::Running && !engine.Running()) {
        const AcquisitionOutcome outcome = engine.Result();
        Ended(outcome != AcquisitionOutcome::Complete && outcome != AcquisitionOutcome::Stopped);
    }
}

void ScpiInstrument::Abort() {
    if (state == State::Running) {
        engine.Stop();
    }
    if (state != State::Idle) {
        Ended(false, true);
    }
}

void ScpiInstrument::Reset() {
    Abort();
    settings = {};
    settings.aperture.lineHz = powerOnLineHz;
    fAcquireNull = {};
    limitFailures = {};
    samples.Clear();
}

void ScpiInstrument::Shutdown() {
    if (state == State::Running) {
        engine.Stop();
    } else {
        board.CloseBoard();
    }
}

void ScpiInstrument::Ended(bool fFailed, bool fAborted) {
    state = State::Idle;
    fIdentifyNext = fIdentifyNext || fFailed;
    fAnswering = fAnswering && !fFailed;
    ends.push_back({runNumber, fFailed, fAborted, EvaluateReadings()});
    for (Listener* listener : listeners) {
        listener->RunEnding(ends.back());
    }
}

std::vector<ScpiInstrument::RunEnd> ScpiInstrument::TakeEnds() {
    std::vector<RunEnd> taken;
    taken.swap(ends);
    return taken;
}

std::vector<double> ScpiInstrument::Values(int channel) const {
    std::vector<double> values =
        Readings::MeanVolts(samples.Taken(channel), runPerReading, samples.Settings.GainFactor);
    const ReadingMath& math = runMath[static_cast<std::size_t>(channel)];
    for (double& value : values) {
        value = math.Apply(value);
    }
    return values;
}

std::uint16_t ScpiInstrument::EvaluateReadings() {
    std::uint16_t questionable = 0;
    for (const int channel : {0, 1}) {
        const auto c = static_cast<std::size_t>(channel);
        if (fRunTakesNull[c]) {
            TakeNull(c);
        }
        if (!runMath[c].limit.fOn) {
            continue;
        }
        for (const double value : Values(channel)) {
            switch (runMath[c].Check(value)) {
                case ReadingMath::Verdict::Low:
                    limitFailures[c] |= kFailedLow;
                    questionable |= StatusRegisters::kLowerLimitFailed;
                    break;
                case ReadingMath::Verdict::High:
                    limitFailures[c] |= kFailedHigh;
                    questionable |= StatusRegisters::kUpperLimitFailed;
                    break;
                case ReadingMath::Verdict::Inside:
                    break;
            }
        }
    }
    return questionable;
}

// A run that brought no whole reading of the channel leaves the null to the next one.
void ScpiInstrument::TakeNull(std::size_t channel) {
    fRunTakesNull[channel] = false;
    const std::span<const std::int32_t> codes = samples.Taken(static_cast<int>(channel));
    if (std::ssize(codes) < runPerReading) {
        fAcquireNull[channel] = true;
        return;
    }
    const double volts = Readings::MeanVolts(codes.first(static_cast<std::size_t>(runPerReading)),
                                             runPerReading, samples.Settings.GainFactor)
                             .front();
    settings.math[channel].null.volts = volts;
    runMath[channel].null.volts = volts;
}

std::uint16_t ScpiInstrument::QuestionableCondition() const {
    std::uint16_t condition = 0;
    for (const std::uint8_t failures : limitFailures) {
        condition |= (failures & kFailedLow) != 0 ? StatusRegisters::kLowerLimitFailed : 0;
        condition |= (failures & kFailedHigh) != 0 ? StatusRegisters::kUpperLimitFailed : 0;
    }
    return condition;
}
