// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <thread>

#include "common/PosixFile.h"

using namespace std::chrono_literals;

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

// Runs `transfer` on this thread while another thread interrupts it with signals for 200 ms,
// the handler installed without SA_RESTART (as a timer's or a child's often is), then does
// `release`, which lets the transfer finish.
template <typename Transfer, typename Release>
PosixFile::Transfer UnderSignals(Transfer transfer, Release release) {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    struct sigaction old {};
    ::sigaction(SIGUSR1, &action, &old);
    const pthread_t self = ::pthread_self();
    auto other = std::async(std::launch::async, [&] {
        for (int i = 0; i < 20; ++i) {
            ::pthread_kill(self, SIGUSR1);
            std::this_thread::sleep_for(10ms);
        }
        release();
    });
    const PosixFile::Transfer done = transfer();
    other.get();
    ::sigaction(SIGUSR1, &old, nullptr);
    return done;
}

// Up to `size` bytes from `fd`, waiting at most a second for each part.
std::string Drain(int fd, std::size_t size) {
    std::string drained;
    char part[4096];
    for (pollfd ready{fd, POLLIN, 0}; drained.size() < size && ::poll(&ready, 1, 1000) > 0;) {
        const ssize_t n = ::read(fd, part, std::min(sizeof part, size - drained.size()));
        if (n <= 0) {
            break;
        }
        drained.append(part, static_cast<std::size_t>(n));
    }
    return drained;
}

// A signal that interrupts a read or a write waiting on a pipe is no failure: the transfer
// goes on, and every byte arrives.
TEST_F(PosixFileTest, ReadAndWriteGoOnWhenASignalInterruptsThem) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const PosixFile reader(ends[0]);
    const PosixFile writer(ends[1]);
    const std::string payload(10000, 'p');
    std::string arrived(payload.size(), '\0');
    const PosixFile::Transfer read =
        UnderSignals([&] { return reader.ReadAll(arrived); }, [&] { writer.WriteAll(payload); });
    EXPECT_EQ(read.error, 0);
    EXPECT_EQ(read.done, payload.size());
    EXPECT_EQ(arrived, payload);

    // The pipe filled up first, so the write waits until the other side reads.
    ASSERT_EQ(::fcntl(ends[1], F_SETFL, O_NONBLOCK), 0);
    std::size_t filled = 0;
    for (char byte = 'f'; ::write(ends[1], &byte, 1) == 1;) {
        ++filled;
    }
    ASSERT_EQ(::fcntl(ends[1], F_SETFL, 0), 0);
    std::string drained;
    const PosixFile::Transfer written =
        UnderSignals([&] { return writer.WriteAll(payload); },
                     [&] { drained = Drain(ends[0], filled + payload.size()); });
    EXPECT_EQ(written.error, 0);
    EXPECT_EQ(written.done, payload.size());
    EXPECT_EQ(drained.substr(filled), payload);
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
