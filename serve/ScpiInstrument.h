// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "measure/Acquisition.h"
#include "measure/Measurement.h"
#include "serve/ScpiSetup.h"
#include "serve/ScpiSetupStore.h"

// The instrument all connections share: the board behind the acquisition engine, its settings
// and the last measurement. A run starts at INIT (or at *TRG when the trigger source is BUS)
// and ends when its count is in, at ABORt or *RST, or when the board fails. With an aperture in
// line cycles the count is one of readings, each the mean of the samples that span it; every
// reading (each sample without an aperture) goes through each channel's null, scale and limits
// as they stood when the run started.
class ScpiInstrument {
public:
    static constexpr std::int64_t kDefaultCount = ScpiSetup::kDefaultCount;
    // Limit failures of a channel, as held for CALCulate:LIMit:FAIL?.
    static constexpr std::uint8_t kFailedLow = 1;
    static constexpr std::uint8_t kFailedHigh = 2;

    using Settings = ScpiSetup;

    // How a run ended, for the connections that started it or wait for it.
    struct RunEnd {
        std::uint64_t run = 0;
        bool fFailed = false;
        bool fAborted = false;  // by ABORt or *RST
        // The questionable status bits the run's readings set (a limit failed).
        std::uint16_t questionable = 0;
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
    // *RST sets the line frequency back to this one, the mains of the place (50 at first).
    void SetPowerOnLineFrequency(int lineHz);
    // *SAV and *RCL: the setups kept in the server's state folder.
    ScpiSetupStore& Setups() { return setups; }
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
    // INIT: 0, or -213 while busy, -221 when the readings need more samples than a run holds,
    // or -240 when the board cannot be started.
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
    // The samples of one reading with the settings in force, and the most readings a run of
    // them holds.
    std::int64_t SamplesPerReading() const;
    std::int64_t MostReadings() const;
    // The last run's readings so far, per channel.
    std::int64_t Readings() const { return samples.Acquired() / runPerReading; }
    // A channel's readings of the last run, through its null and scale: in volts or the
    // scale's unit.
    std::vector<double> Values(int channel) const;
    // CALCulate:NULL:OFFSet:ACQuire: the first reading of the next run becomes the null.
    void AcquireNull(int channel) { fAcquireNull[static_cast<std::size_t>(channel)] = true; }
    // What the readings have failed since the limits were last cleared (kFailedLow, kFailedHigh).
    std::uint8_t LimitFailures(int channel) const {
        return limitFailures[static_cast<std::size_t>(channel)];
    }
    void ClearLimitFailures(int channel) { limitFailures[static_cast<std::size_t>(channel)] = 0; }
    // STATus:QUEStionable:CONDition?: the limit failures of either channel.
    std::uint16_t QuestionableCondition() const;
    // What the last run was measured with: the settings, the board, its start.
    const AcquisitionInfo& RunInfo() const { return engine.Info(); }
    // The board answered its last identification and failed no run since.
    bool Answering() const { return fAnswering; }

private:
    enum class State { Idle, Armed, Running };

    int StartRun();
    void Ended(bool fFailed, bool fAborted = false);
    // At a run's end: a null asked for taken from its first reading, its readings checked
    // against the limits; the questionable bits of the failures.
    std::uint16_t EvaluateReadings();
    void TakeNull(std::size_t channel);

    TADC& board;
    Acquisition engine;
    // The last run's samples, whatever part of it came, up to one start command's count.
    Measurement samples{static_cast<std::int32_t>(Acquisition::kMaxStartCount),
                        Measurement::Keeping::Everything};
    Settings settings;
    ScpiSetupStore setups;
    int powerOnLineHz = 50;
    // The run's readings: the samples of each and the math in force when it started.
    std::int64_t runPerReading = 1;
    std::array<ReadingMath, 2> runMath;
    std::array<bool, 2> fAcquireNull{};  // for the next run
    std::array<bool, 2> fRunTakesNull{};
    std::array<std::uint8_t, 2> limitFailures{};
    State state = State::Idle;
    std::uint64_t runNumber = 0;
    bool fIdentifyNext = false;  // after a failure, the next run identifies the board again
    bool fAnswering = false;
    std::string serialNumber;
    std::vector<RunEnd> ends;
    std::vector<Listener*> listeners;
};
