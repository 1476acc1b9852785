// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>

// The live view's own files (its page, script and style sheet) and the chart library, read
// once at the start from the folder installed beside the program: PREFIX/share/selkoran/web
// for PREFIX/bin/selkoran-cli, or share/selkoran/web in the build folder.
class WebPageFiles {
public:
    struct File {
        std::string contentType;
        std::string contents;
    };

    // The folder beside the running program; empty when neither place has one.
    static std::string Folder();
    // Every file, or nothing with the missing one named in `error`.
    static std::optional<WebPageFiles> Load(const std::string& folder, std::string* error);
    // The file served at `path` ("/live.js"); none for another path.
    const File* Find(const std::string& path) const;

private:
    std::map<std::string, File> files;
};
