// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// A recording copied into a file of the other type (or the same type, to compress an HDF5
// file or to close one whose writer crashed) without loss: every code, the settings, the
// board, the count asked for, the start, the further start commands and the end. The type of
// the input follows from its first bytes, the type of the output from its extension (".h5",
// ".hdf5": HDF5). The output is written under a temporary name beside it and takes its name
// only when complete, so a failed conversion leaves nothing half-written and no older file
// destroyed.
class RecordingConverter {
public:
    enum class Result { Done, InputBad, OutputExists, OutputFailed };

    struct Request {
        std::string input;
        std::string output;
        bool fOverwrite = false;
        bool fCompress = false;  // an HDF5 output with shuffle and gzip
    };

    // InputBad: `reason` says what is wrong with the input; OutputFailed: why the output
    // could not be written.
    static Result Convert(const Request& request, std::string* reason);
};
