// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/FileReplacement.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <utility>

#include "common/PosixFile.h"

namespace {

constexpr int kTemporaryAttempts = 100;
constexpr int kMaxLinkHops = 40;  // as the kernel allows before it reports a loop

// Saving through a symbolic link writes the file it names, also one that does not exist
// yet, as an editor does; the link stays a link. Empty for a loop of links.
std::optional<std::string> FollowLinks(std::string path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::array<char, PATH_MAX> target;
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) == target.size()) {
            return path;
        }
        const std::string next(target.data(), static_cast<std::size_t>(length));
        path = next.front() == '/' ? next : PosixFile::FolderOf(path) + "/" + next;
    }
    return std::nullopt;
}

// Permission bits do not stop root, so a file without any write bit is refused as well:
// the operator marked it read-only.
bool IsWritable(const std::string& fileName, const struct stat& status) {
    return access(fileName.c_str(), W_OK) == 0 && (status.st_mode & 0222) != 0;
}

// A short name of our own, so that a target name near the length limit still gets one.
PosixFile CreateTemporary(const std::string& directory, std::string& name) {
    PosixFile file;
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        name = directory + "/.selkoran-" + std::to_string(getpid()) + "-" +
               std::to_string(attempt) + ".tmp";
        file = PosixFile::Open(name, O_WRONLY | O_CREAT | O_EXCL);
        if (file.Error() != EEXIST) {
            break;
        }
    }
    return file;
}

// Every byte written and on disk, then the file closed: 0, or the first error.
int Finish(PosixFile file, std::string_view text) {
    int error = file.WriteAll(text).error;
    if (error == 0) {
        error = file.Sync();
    }
    const int closeError = file.Close();
    return error != 0 ? error : closeError;
}

bool IsRefusedByFolder(int error) {
    return error == EACCES || error == EPERM;
}

// Writes the whole text to a new file beside the target and renames it over the target
// only when every byte is on disk, so a failure at any point leaves the old file as it
// was. `mode` is the replaced file's; a new file gets the umask's default. A file with
// further hard links is replaced like any other: the other names keep the old data.
int ReplaceFile(const std::string& target, std::string_view text, std::optional<mode_t> mode) {
    std::string temporary;
    PosixFile file = CreateTemporary(PosixFile::FolderOf(target), temporary);
    if (!file.IsOpen()) {
        return file.Error();
    }
    int error =
        mode && fchmod(file.Descriptor(), *mode) != 0 ? errno : Finish(std::move(file), text);
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
        return error;
    }
    // The rename has already happened: a folder that cannot be synced does not undo the save.
    PosixFile::SyncFolderOf(target);
    return 0;
}

// Where the folder takes no new entries (or, being sticky, lets nobody else's be replaced)
// the existing file is rewritten in place, as a plain save does. A failure part way leaves
// it incomplete, so this is only the way out when the atomic replace cannot be had.
int WriteInPlace(const std::string& target, std::string_view text) {
    PosixFile file = PosixFile::Open(target, O_WRONLY | O_TRUNC | O_NONBLOCK);
    return file.IsOpen() ? Finish(std::move(file), text) : file.Error();
}

// An existing file is replaced atomically where its folder allows it, else rewritten in place.
int Overwrite(const std::string& target, std::string_view text, const struct stat& existing) {
    const int error = ReplaceFile(target, text, existing.st_mode & 07777);
    return IsRefusedByFolder(error) ? WriteInPlace(target, text) : error;
}

FileFailure Result(int error) {
    return error == 0 ? FileFailure() : FileFailure::System(error);
}

}  // namespace

FileReplacement::FileReplacement(const std::string& fileName)
    : target(fileName.empty() ? std::nullopt : FollowLinks(fileName)) {
    if (!target) {
        nameError = fileName.empty() ? ENOENT : ELOOP;
    }
    struct stat status {};
    fExists = target && stat(target->c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

FileFailure FileReplacement::CheckStanding(const struct stat& status) const {
    if (S_ISDIR(status.st_mode)) {
        return FileFailure::System(EISDIR);
    }
    if (!S_ISREG(status.st_mode)) {
        return {FileFailure::Kind::NotRegular};
    }
    return Result(IsWritable(*target, status) ? 0 : EACCES);
}

FileFailure FileReplacement::Check() const {
    if (!target) {
        return FileFailure::System(nameError);
    }
    struct stat status {};
    if (stat(target->c_str(), &status) == 0) {
        return CheckStanding(status);
    }
    if (errno != ENOENT) {
        return FileFailure::System(errno);
    }
    return Result(access(PosixFile::FolderOf(*target).c_str(), W_OK | X_OK) == 0 ? 0 : errno);
}

FileFailure FileReplacement::Write(std::string_view text) const {
    if (!target) {
        return FileFailure::System(nameError);
    }
    struct stat status {};
    if (stat(target->c_str(), &status) != 0) {
        return Result(ReplaceFile(*target, text, std::nullopt));
    }
    const FileFailure standing = CheckStanding(status);
    return standing.Failed() ? standing : Result(Overwrite(*target, text, status));
}
