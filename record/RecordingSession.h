// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "measure/Acquisition.h"
#include "record/Hdf5RecordingSink.h"
#include "record/Recorder.h"

// A long recording into a file of either type, driven step by step as the recorder is, so the
// command line and the recording window drive both alike: a CSV file through `Recorder`, an
// HDF5 file through the acquisition engine with an `Hdf5RecordingSink`. The same
// identification, configuration, block reads, chaining, time-out and outcomes either way.
class RecordingSession {
public:
    enum class FileType { Csv, Hdf5 };
    using Clock = Recorder::Clock;
    using NowFunction = Recorder::NowFunction;

    // ".h5" and ".hdf5" (in any case) name an HDF5 file, anything else a CSV file.
    static FileType TypeOf(const std::string& path);

    explicit RecordingSession(TADC& adc, NowFunction now = Clock::now);

    // Sees each block's samples after the file took them.
    void SetBlockObserver(Recorder::BlockObserver blockObserver);

    // `fCompress`: shuffle and gzip for an HDF5 file.
    Recorder::StartResult Start(const Recorder::Request& request, FileType type,
                                bool fCompress = false);
    void Wake();
    void Stop();

    bool Recording() const;
    Recorder::Outcome Result() const;
    BlockWait::Sleep NextWait();
    Clock::time_point NextDeadline() const;
    std::int64_t Written() const;
    // Once the recording has ended: the samples its file keeps.
    std::int64_t Kept() const;
    // Why the file could not be made or written (an errno value); 0 while nothing failed.
    int FileError() const;
    std::int64_t Total() const;
    std::uint64_t FileSize() const;
    RecordingHeader Header() const;
    bool ReadBack(std::int64_t first, std::int64_t last,
                  std::array<std::vector<std::int32_t>, 2>& codes) const;

private:
    // Hands the engine's blocks to the observer, after the file took them.
    struct ObserverSink : AcquisitionSink {
        Recorder::BlockObserver observer;
        bool Begin(const AcquisitionInfo&) override { return true; }
        bool Take(const SampleBlock& block) override;
        bool End(AcquisitionOutcome) override { return true; }
    };

    bool Hdf5() const { return type == FileType::Hdf5; }

    FileType type = FileType::Csv;
    Recorder recorder;
    Acquisition engine;
    Hdf5RecordingSink hdf5;
    ObserverSink observing;
};
