// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "measure/Acquisition.h"
#include "measure/WatchingSink.h"
#include "record/CsvRecordingSink.h"
#include "record/Hdf5RecordingSink.h"
#include "record/RecordingFormat.h"

// A long recording into a file of either type (CSV, or HDF5 by the name's extension), run by
// the acquisition engine with the file as its sink, step by step, so that the command line and
// the recording window drive both alike: the same identification (always afresh), configuration,
// block reads, chained start commands, time-out and outcomes either way. The engine may run
// other front ends' runs at other times (the main window's): the session wakes and stops only
// its own.
class RecordingSession {
public:
    enum class FileType { Csv, Hdf5 };
    using Refusal = FileRefusal;
    using Clock = Acquisition::Clock;
    using BlockObserver = std::function<void(const SampleBlock&)>;

    struct Request {
        bool fSinc5 = true;
        int spsSel = 3;
        int chSel = 0;
        std::int64_t count = 1;  // at least 1
        std::string path;
        bool fOverwrite = false;
        // No record for this long ends the recording; none: wait as long as it takes.
        std::optional<Clock::duration> noDataTimeout;
    };

    // ".h5" and ".hdf5" (in any case) name an HDF5 file, anything else a CSV file.
    static FileType TypeOf(const std::string& path);

    // `now` is the engine's clock.
    explicit RecordingSession(Acquisition& acquisition, Acquisition::NowFunction now = Clock::now);

    // Sees each block's samples after the file took them.
    void SetBlockObserver(BlockObserver blockObserver) {
        observing.onTake = std::move(blockObserver);
    }

    // `fCompress`: shuffle and gzip for an HDF5 file. Refused: Refused() says why.
    Acquisition::StartResult Start(const Request& request, FileType type, bool fCompress = false);
    void Wake();
    void Stop();

    bool Recording() const { return fRecording; }
    AcquisitionOutcome Result() const { return engine.Result(); }
    FileRefusal Refused() const;
    BlockWait::Sleep NextWait() { return engine.NextWait(); }
    Clock::time_point NextDeadline() const { return engine.NextDeadline(); }
    std::int64_t Written() const;
    // Once the recording has ended: the samples its file keeps.
    std::int64_t Kept() const;
    // Why the file could not be made or written (an errno value); 0 while nothing failed.
    int FileError() const;
    std::int64_t Total() const { return engine.Total(); }
    std::uint64_t FileSize() const;
    RecordingHeader Header() const;
    bool ReadBack(std::int64_t first, std::int64_t last,
                  std::array<std::vector<std::int32_t>, 2>& codes) const;
    // Memory of a CSV file's index of old stretches (an HDF5 file needs none).
    std::size_t IndexBytes() const { return csv.IndexBytes(); }

private:
    bool Hdf5() const { return type == FileType::Hdf5; }

    Acquisition& engine;
    bool fRecording = false;  // the engine's run is this session's
    FileType type = FileType::Csv;
    CsvRecordingSink csv;
    Hdf5RecordingSink hdf5;
    WatchingSink observing;
};
