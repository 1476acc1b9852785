// SPDX-License-Identifier: GPL-3.0-or-later
// The progress bar of an analysis as a terminal shows it: standard error on a real
// pseudo-terminal for the test's length.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/ProgressBar.h"

namespace {

// Standard error on the slave side of a new pseudo-terminal while the object lives; what was
// written to it is read from the master side.
class ErrorOnTerminal {
public:
    ErrorOnTerminal() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return;
        }
        slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        std::fflush(stderr);
        kept = ::dup(STDERR_FILENO);
        ::dup2(slave, STDERR_FILENO);
    }
    ~ErrorOnTerminal() {
        std::fflush(stderr);
        ::dup2(kept, STDERR_FILENO);
        ::close(kept);
        ::close(slave);
        ::close(master);
    }
    ErrorOnTerminal(const ErrorOnTerminal&) = delete;
    ErrorOnTerminal& operator=(const ErrorOnTerminal&) = delete;

    std::string Written() const {
        std::fflush(stderr);
        std::string text;
        char chunk[512];
        pollfd line{master, POLLIN, 0};
        while (::poll(&line, 1, 200) > 0) {
            const ssize_t n = ::read(master, chunk, sizeof chunk);
            if (n <= 0) {
                break;
            }
            text.append(chunk, static_cast<std::size_t>(n));
        }
        return text;
    }

private:
    int master = -1;
    int slave = -1;
    int kept = -1;
};

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace

// A share is a bar with its percentage only (no counts, no time left), redrawn only when the
// percentage moves, and ends on its own line at 100 %.
TEST(CliProgressBar, AnAnalysisShowsItsShareAndRedrawsOnlyWhenThePercentageMoves) {
    ErrorOnTerminal terminal;
    {
        ProgressBar bar(ProgressBar::Mode::Share);
        for (const int permille : {0, 425, 426, 429, 1000}) {
            bar.Show(permille, 1000);
        }
        bar.Finish();
    }
    const std::string shown = terminal.Written();
    EXPECT_NE(shown.find("\r[" + std::string(40, '.') + "] 0 %\x1b[K"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\r[" + std::string(16, '#') + std::string(24, '.') + "] 42 %\x1b[K"),
              std::string::npos)
        << shown;
    EXPECT_EQ(Count(shown, "] 42 %"), 1u);  // 42.5, 42.6 and 42.9 % are one drawing
    EXPECT_EQ(Count(shown, "\r["), 4u);     // 0, 42, 100 and the last drawing with its line end
    EXPECT_NE(shown.find("\r[" + std::string(40, '#') + "] 100 %\x1b[K\r\n"), std::string::npos)
        << shown;
    EXPECT_EQ(shown.find("/"), std::string::npos);  // no "done / whole" counts
}
