// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

// A new file's name lasts a crash only once its folder is synced too.
inline void SyncFolderOf(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}
