// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "measure/Acquisition.h"
#include "measure/WatchingSink.h"
#include "record/RecordingFormat.h"
#include "record/RecordingSink.h"

// A long recording into a file of either type, run by the acquisition engine with the file as
// its sink, step by step, so that the command line and the recording window drive both alike:
// the same identification (always afresh), configuration, block reads, chained start commands,
// time-out and outcomes either way. The engine may run other front ends' runs at other times
// (the main window's): the recorder wakes and stops only its own.
class Recorder {
public:
    using Clock = Acquisition::Clock;
    using BlockObserver = std::function<void(const SampleBlock&)>;

    // A recording: its run and its file.
    struct Request {
        RunRequest run;
        RecordingSink::Options file;
    };

    // `now` is the engine's clock.
    explicit Recorder(Acquisition& acquisition, Acquisition::NowFunction now = Clock::now);

    // Sees each block's samples after the file took them.
    void SetBlockObserver(BlockObserver blockObserver) {
        observing.onTake = std::move(blockObserver);
    }

    // Into a file of `type`. Refused: Refused() says why; Busy while a recording runs.
    Acquisition::StartResult Start(const Request& request, RecordingSink::Type type);
    void Wake();
    void Stop();

    bool Recording() const { return fRecording; }
    AcquisitionOutcome Result() const { return engine.Result(); }
    FileRefusal Refused() const { return file->Refused(); }
    BlockWait::Sleep NextWait() { return engine.NextWait(); }
    Clock::time_point NextDeadline() const { return engine.NextDeadline(); }
    std::int64_t Written() const { return file->Rows(); }
    // Once the recording has ended: the samples its file keeps.
    std::int64_t Kept() const { return file->Kept(); }
    // Why the file could not be made or written (an errno value); 0 while nothing failed.
    int FileError() const { return file->FileError(); }
    std::int64_t Total() const { return engine.Total(); }
    std::uint64_t FileSize() const { return file->FileSize(); }
    RecordingHeader Header() const { return RecordingFormat::HeaderOf(engine.Info()); }
    bool ReadBack(std::int64_t first, std::int64_t last,
                  std::array<std::vector<std::int32_t>, 2>& codes) const {
        return file->ReadBack(first, last, codes);
    }
    // Memory of a CSV file's index of old stretches (an HDF5 file needs none).
    std::size_t IndexBytes() const { return file->IndexBytes(); }

private:
    Acquisition& engine;
    Acquisition::NowFunction now;
    bool fRecording = false;  // the engine's run is this recorder's
    // The file of the last start; before the first, a CSV file not made that holds nothing.
    std::unique_ptr<RecordingSink> file;
    WatchingSink observing;
};
