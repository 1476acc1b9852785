// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class ScpiInstrument;

// The last run as a file to download, written by the command line's writers: the ".DTA" data
// file (while the count fits it, as the window saves it), the CSV table and the HDF5 file of
// a recording. Each is written whole into a folder of the server's own, opened, and unlinked at
// once, so nothing is left behind however the download ends.
class RunDownload {
public:
    enum class Type { Dta, Csv, Hdf5 };

    struct File {
        int fd = -1;  // read-only, at its start; the caller closes it
        std::uint64_t size = 0;
        std::string name;  // as offered to the browser: "SELKORAN-FT7SIM01-20260101T120000.csv"
    };

    // Makes its folder below $TMPDIR (or /tmp); removed with the object.
    RunDownload();
    ~RunDownload();
    RunDownload(const RunDownload&) = delete;
    RunDownload& operator=(const RunDownload&) = delete;

    static std::optional<Type> TypeOf(const std::string& extension);
    // Nothing, with the reason in the operator's words in `reason`, when there is no finished
    // run, a run is under way, the count does not fit the type, or the writer failed.
    std::optional<File> Make(const ScpiInstrument& instrument, Type type,
                             std::string* reason) const;

private:
    bool Write(const ScpiInstrument& instrument, Type type, const std::string& path) const;

    std::string folder;
};
