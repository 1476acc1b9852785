// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiInstrument.h"

#include <utility>

#include "serve/ErrorQueue.h"

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

int ScpiInstrument::Initiate() {
    if (Busy()) {
        return ScpiError::kInitIgnored;
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
    RunRequest request = settings.run;
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
    ends.push_back({runNumber, fFailed, fAborted});
    for (Listener* listener : listeners) {
        listener->RunEnding(ends.back());
    }
}

std::vector<ScpiInstrument::RunEnd> ScpiInstrument::TakeEnds() {
    std::vector<RunEnd> taken;
    taken.swap(ends);
    return taken;
}
