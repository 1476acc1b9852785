// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "measure/AcquisitionSink.h"
#include "record/FileRefusal.h"

// A recording's file as a sink of the acquisition engine, of either type: made before the board
// is configured, growing as the blocks come, read back while it grows, and at the end saying
// how many samples it keeps and why a write failed.
class RecordingSink : public AcquisitionSink {
public:
    enum class Type { Csv, Hdf5 };
    using NowFunction = std::function<Clock::time_point()>;

    struct Options {
        std::string path;
        bool fOverwrite = false;  // an existing file is replaced, else refused
        bool fCompress = false;   // shuffle and gzip, for an HDF5 file
    };

    // ".h5" and ".hdf5" (in any case) name an HDF5 file, anything else a CSV file.
    static Type TypeOf(const std::string& path);
    // The sink for a file of `type`; `now` is the clock of the engine that drives it.
    static std::unique_ptr<RecordingSink> Make(Type type, Options options, NowFunction now);

    // Why the file refused the start; None when it did not.
    FileRefusal Refused() const { return refusal; }
    // The samples taken.
    virtual std::int64_t Rows() const = 0;
    // Once the recording has ended: the samples its file keeps (fewer than the rows when a
    // write failed).
    virtual std::int64_t Kept() const = 0;
    // Why the file could not be made or written (an errno value); 0 while nothing failed.
    virtual int FileError() const = 0;
    virtual std::uint64_t FileSize() const = 0;
    // The codes of samples [first, last) per channel (a channel not recorded stays empty), as
    // far as the file and what waits for it hold them; false when they are not all there.
    virtual bool ReadBack(std::int64_t first, std::int64_t last,
                          std::array<std::vector<std::int32_t>, 2>& codes) const = 0;
    // Memory kept to find old stretches in the file (a CSV file's index).
    virtual std::size_t IndexBytes() const { return 0; }

protected:
    RecordingSink(Options fileOptions, NowFunction nowFunction)
        : options(std::move(fileOptions)), timeNow(std::move(nowFunction)) {}

    const Options options;
    const NowFunction timeNow;
    FileRefusal refusal = FileRefusal::None;
};
