// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/web/WebPageFiles.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

struct Served {
    const char* path;
    const char* file;
    const char* contentType;
};

constexpr Served kServed[] = {
    {"/live", "live.html", "text/html; charset=utf-8"},
    {"/live.js", "live.js", "text/javascript; charset=utf-8"},
    {"/style.css", "style.css", "text/css; charset=utf-8"},
    {"/dygraph.min.js", "dygraph.min.js", "text/javascript; charset=utf-8"},
    {"/dygraph.min.css", "dygraph.min.css", "text/css; charset=utf-8"},
};

}  // namespace

std::string WebPageFiles::Folder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    for (const auto& folder : {program.parent_path().parent_path() / "share/selkoran/web",
                               program.parent_path() / "share/selkoran/web"}) {
        if (std::filesystem::is_directory(folder, error)) {
            return folder.string();
        }
    }
    return {};
}

std::optional<WebPageFiles> WebPageFiles::Load(const std::string& folder, std::string* error) {
    WebPageFiles loaded;
    for (const Served& served : kServed) {
        const std::string path = folder + '/' + served.file;
        std::ifstream file(path, std::ios::binary);
        std::ostringstream contents;
        if (folder.empty() || !(contents << file.rdbuf())) {
            *error = "ウェブページのファイルがありません：" +
                     (folder.empty() ? std::string("share/selkoran/web/") + served.file : path);
            return std::nullopt;
        }
        loaded.files[served.path] = {served.contentType, contents.str()};
    }
    return loaded;
}

const WebPageFiles::File* WebPageFiles::Find(const std::string& path) const {
    const auto found = files.find(path);
    return found == files.end() ? nullptr : &found->second;
}
