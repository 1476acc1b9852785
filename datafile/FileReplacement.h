// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

#include "datafile/FileFailure.h"

// A file written whole, so that a failure never leaves it half-written: the text goes to a
// temporary file beside it (made exclusively, written in full, synced) and replaces it only
// once every byte is on disk; any failure removes the temporary file. A replaced file keeps its
// mode, a new one gets the default under the umask; a file with further hard links is replaced
// like any other (the other names keep the old data). Where the folder refuses the replace (no
// write permission on it, or a sticky folder and someone else's file) an existing writable
// file is rewritten in place instead, as a plain save does: its links and owner stay, but a
// failure part way leaves it incomplete; a new file cannot be saved in such a folder. A
// symbolic link stays a link and the file it names is written, also one that does not exist
// yet; a loop of links fails. A target that is not writable, or has no write bit at all (which
// would not stop root), is refused, and so is anything but a regular file (root could otherwise
// replace /dev/null). Qt's save-file class is not used: it writes in place only when no
// temporary file can be made, and so fails in a sticky folder.
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
