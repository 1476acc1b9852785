// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "measure/Acquisition.h"
#include "measure/Measurement.h"
#include "measure/RunRequest.h"

// The instrument all connections share: the board behind the acquisition engine, its settings
// and the last measurement. A run starts at INIT (or at *TRG when the trigger source is BUS)
// and ends when its count is in, at ABORt or *RST, or when the board fails.
class ScpiInstrument {
public:
    static constexpr std::int64_t kDefaultCount = 1000;

    struct Settings {
        // 31250 samples per second; the time-out follows from the rate at each start.
        RunRequest run{.settings = {.spsSel = kRateCount - 1}, .count = kDefaultCount};
        bool fBusTrigger = false;
    };

    // How a run ended, for the connections that started it or wait for it.
    struct RunEnd {
        std::uint64_t run = 0;
        bool fFailed = false;
        bool fAborted = false;  // by ABORt or *RST
    };

    // Told of a run's end the moment it ends, while the run's samples are still those of the
    // run: the connection that ended it may go on to *RST or INIT in the same message.
    class Listener {
    public:
        virtual void RunEnding(const RunEnd& end) = 0;

    protected:
        ~Listener() = default;
    };

    explicit ScpiInstrument(TADC& adc, Acquisition::NowFunction now = Acquisition::Clock::now);
    ScpiInstrument(const ScpiInstrument&) = delete;
    ScpiInstrument& operator=(const ScpiInstrument&) = delete;

    // Identification ("?", "U?", "V?"), as at the start of the server.
    Acquisition::StartResult Identify();
    // *IDN?: maker, model, the chip's USB serial number ("0" without one), the board's version.
    std::string Identity() const;
    std::string SerialNumber() const;
    const std::string& Version() const { return engine.Info().boardVersion; }
    // *TST?: 0 when the board answers identification (or is streaming a run), 1 otherwise.
    int SelfTest();

    Settings& Setup() { return settings; }
    const Settings& Setup() const { return settings; }
    // CONFigure, as multimeters take it: one sample per channel, started at once.
    void Configure() {
        settings.run.count = 1;
        settings.fBusTrigger = false;
    }
    // A run is armed (waiting for *TRG) or under way.
    bool Busy() const { return state != State::Idle; }
    // The number of the run INIT armed or started last.
    std::uint64_t RunNumber() const { return runNumber; }
    // INIT: 0, or -213 while busy, or -240 when the board cannot be started.
    int Initiate();
    // *TRG: 0, or -211 when no run waits for a trigger, or -240.
    int Trigger();
    // ABORt: ends an armed or running run; what has arrived is kept.
    void Abort();
    // *RST: the defaults, a run in progress aborted, the last measurement forgotten.
    void Reset();
    // At the end of the server: a run in progress is stopped ("AX") and the board closed.
    void Shutdown();

    // Driven by the server's loop while a run is under way.
    bool Running() const { return state == State::Running; }
    BlockWait::Sleep NextWait() { return engine.NextWait(); }
    void Wake();
    // Runs that ended since the last call, oldest first.
    std::vector<RunEnd> TakeEnds();
    void Attach(Listener* listener) { listeners.push_back(listener); }
    void Detach(Listener* listener) { std::erase(listeners, listener); }

    const Measurement& Samples() const { return samples; }
    // What the last run was measured with: the settings, the board, its start.
    const AcquisitionInfo& RunInfo() const { return engine.Info(); }
    // The board answered its last identification and failed no run since.
    bool Answering() const { return fAnswering; }

private:
    enum class State { Idle, Armed, Running };

    int StartRun();
    void Ended(bool fFailed, bool fAborted = false);

    TADC& board;
    Acquisition engine;
    // The last run's samples, whatever part of it came, up to one start command's count.
    Measurement samples{static_cast<std::int32_t>(Acquisition::kMaxStartCount),
                        Measurement::Keeping::Everything};
    Settings settings;
    State state = State::Idle;
    std::uint64_t runNumber = 0;
    bool fIdentifyNext = false;  // after a failure, the next run identifies the board again
    bool fAnswering = false;
    std::string serialNumber;
    std::vector<RunEnd> ends;
    std::vector<Listener*> listeners;
};
