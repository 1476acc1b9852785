// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "cli/CliOptions.h"
#include "record/RecordingFormat.h"
#include "record/RecordingSession.h"

class FifoDriver;
class ProgressBar;
class TmyMessage;

// selkoran-cli record: the recorder (CSV or HDF5) driven by the command line's own loop, with
// the window's texts for every way it can end and, after an early end, what the file keeps.
// Ctrl-C and SIGTERM stop it as the stop button does; a file size limit or a reader of the
// file that went away makes a failed write instead of ending the program (SIGXFSZ and SIGPIPE
// are ignored). Between wakes it sleeps as the engine says, which also bounds the sleep by the
// file's flush and sync and by the time-out.
class CliRecording {
public:
    CliRecording(const CliOptions& cliOptions, TmyMessage& messageCatalogue);

    // The recording from start to end; false when it failed or kept no sample (the reason is
    // printed on standard error).
    bool Run(FifoDriver& driver);

    const RecordingHeader& Header() const { return header; }
    // The samples the file keeps.
    std::int64_t Written() const { return written; }

private:
    RecordingSession::Request Request() const;
    // False, with the reason printed, unless the recording started.
    bool Started(Acquisition::StartResult result, const RecordingSession& recorder);
    // False, with the reason printed, unless the recording ended complete or stopped with
    // samples kept.
    bool Ended(const RecordingSession& recorder);

    const CliOptions& options;
    TmyMessage& messages;
    RecordingHeader header;
    std::int64_t written = 0;
};
