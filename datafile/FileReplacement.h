// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

#include "datafile/FileFailure.h"

// A file written whole, so that a failure never leaves it half-written: the text goes to a
// temporary file beside it and replaces it only once every byte is on disk. A symbolic link
// stays a link and the file it names is written, also one that does not exist yet.
class FileReplacement {
public:
    // `fileName` followed through its symbolic links to the file that will be written.
    explicit FileReplacement(const std::string& fileName);

    // A regular file stands under the name: a save replaces it.
    bool Exists() const { return fExists; }
    // What would stop a save before anything is written: a loop of links, a folder or no
    // regular file under the name, an existing file that may not be written, or a folder that
    // does not exist or takes no new file.
    FileFailure Check() const;
    // Writes `text` as the whole file.
    FileFailure Write(std::string_view text) const;

private:
    FileFailure CheckStanding(const struct stat& status) const;

    std::optional<std::string> target;  // none for an empty name or a loop of links
    int nameError = 0;                  // then ENOENT or ELOOP
    bool fExists = false;
};
