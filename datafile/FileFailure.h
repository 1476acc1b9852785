// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Why a data file could not be saved or loaded, so that a message can name the reason: the
// system's error, or what the reader found in the file and on which line it stopped.
struct FileFailure {
    enum class Kind {
        None,
        System,          // `error` holds the errno
        NotRegular,      // a device, a pipe or a socket stands under the name
        Empty,           // not a single byte
        NotDataFile,     // the first line is no data file's identification
        BadLine,         // `line` cannot be read as the file's format demands
        CutShort,        // the file ends at `line`, before "DEND:"
        TooManySamples,  // more samples than a series holds
        BadSettings      // a rate, count or channel index outside its list
    };

    Kind kind = Kind::None;
    int error = 0;
    int line = 0;  // from 1

    static FileFailure System(int errorNumber) { return {Kind::System, errorNumber, 0}; }
    static FileFailure AtLine(Kind kind, int line) { return {kind, 0, line}; }

    bool Failed() const { return kind != Kind::None; }
    // A file that could not be opened or written at all, rather than one of the wrong content.
    bool IsAccess() const { return kind == Kind::System || kind == Kind::NotRegular; }
    // In the operator's words.
    std::string Reason() const;
};
