// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/PosixFile.h"

namespace {

std::size_t OpenDescriptors() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

class PosixFileTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const {
        return directory.path().toStdString() + "/" + name;
    }

    QTemporaryDir directory;
};

// A pipe without a writer would keep the reader waiting for ever: refused before it is opened.
TEST_F(PosixFileTest, OpensRegularFilesOnlyAndAtOnce) {
    std::ofstream(Path("data.csv")) << "sample,ch0\n";
    std::filesystem::create_symlink(Path("data.csv"), Path("link.csv"));
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    const struct {
        std::string path;
        int error;
    } cases[] = {{Path("data.csv"), 0},
                 {Path("link.csv"), 0},
                 {Path("pipe"), PosixFile::kNotRegular},
                 {"/dev/null", PosixFile::kNotRegular},
                 {Path(""), EISDIR},
                 {Path("missing.csv"), ENOENT}};
    for (const auto& c : cases) {
        const std::size_t before = OpenDescriptors();
        {
            const PosixFile file = PosixFile::OpenRegular(c.path);
            EXPECT_EQ(file.Error(), c.error) << c.path;
            EXPECT_EQ(file.IsOpen(), c.error == 0) << c.path;
        }
        EXPECT_EQ(OpenDescriptors(), before) << c.path;
    }
}

// A file size limit is a full disk of the file's own: the caller learns how much went out.
TEST_F(PosixFileTest, WriteUnderFileSizeLimitReportsEfbigAndWhatWentOut) {
    const PosixFile file = PosixFile::Open(Path("run.csv"), O_WRONLY | O_CREAT | O_TRUNC);
    ASSERT_TRUE(file.IsOpen());
    const std::string text(4096, 'x');
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limited{1000, old.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const PosixFile::Transfer atEnd = file.WriteAll(text);
    const PosixFile::Transfer atOffset = file.WriteAllAt(text.substr(0, 200), 900);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(atEnd.done, 1000u);
    EXPECT_EQ(atEnd.error, EFBIG);
    EXPECT_EQ(atOffset.done, 100u);
    EXPECT_EQ(atOffset.error, EFBIG);
    EXPECT_EQ(std::filesystem::file_size(Path("run.csv")), 1000u);
}

// Moved, replaced or dropped: every descriptor is closed once, by its last owner.
TEST_F(PosixFileTest, DescriptorClosesWithItsLastOwner) {
    std::ofstream(Path("data.csv")) << "x";
    const std::size_t before = OpenDescriptors();
    {
        PosixFile first = PosixFile::OpenRegular(Path("data.csv"));
        PosixFile second = std::move(first);
        second = PosixFile::OpenRegular(Path("data.csv"));
        EXPECT_EQ(OpenDescriptors(), before + 1);
        EXPECT_EQ(second.Close(), 0);
        EXPECT_EQ(OpenDescriptors(), before);
        second = PosixFile::OpenRegular(Path("data.csv"));
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
