// SPDX-License-Identifier: GPL-3.0-or-later
// The guards around the window's life: what escapes it is shown and fails the program; the
// event loop it runs on, and that a run's wakes (a timer, the board's descriptor) arrive on it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <cstdlib>
#include <stdexcept>

#include "app/ProgramStart.h"
#include "app/RunWake.h"
#include "tests/fakes/FakePrompts.h"

using namespace std::chrono_literals;

namespace {

// The App tests run on the event loop the program chooses.
[[maybe_unused]] const bool kProgramsLoop = (ChooseEventLoop(), true);

bool OnGlibsLoop() {
    return QString::fromLatin1(QAbstractEventDispatcher::instance()->metaObject()->className())
        .contains(QStringLiteral("Glib"));
}

// Runs the event loop until `woke` or 2 s; true if it woke.
bool WaitForWake(const bool& woke) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!woke && elapsed.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return woke;
}

// In a process of its own (a death test): the application as the program makes it, then a
// wake by the board's descriptor and one by the sleep's end. Exit code 0 when both came on
// the loop expected, 2 for the wrong loop, 3 or 4 for a wake that did not come.
[[noreturn]] void StartAndWake(bool fGlibExpected) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "selkoran";
    char* argv[] = {name, nullptr};
    const auto application = StartApplicationOrExit(argc, argv);
    if (OnGlibsLoop() != fGlibExpected) {
        std::_Exit(2);
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_NONBLOCK) != 0) {
        std::_Exit(5);
    }
    bool woke = false;
    RunWake wake([&woke] { woke = true; });
    wake.Arm({.fd = pipeFds[0], .duration = 10s});
    if (write(pipeFds[1], "x", 1) != 1 || !WaitForWake(woke) || wake.Armed()) {
        std::_Exit(3);
    }
    woke = false;
    wake.Arm({.fd = -1, .duration = 3ms});
    std::_Exit(WaitForWake(woke) ? 0 : 4);
}

TEST(AppProgramStart, EscapingExceptionShowsItsTextAndFails) {
    FakePrompts prompts;
    EXPECT_EQ(RunGuarded(prompts, [] { return 0; }), 0);
    EXPECT_EQ(RunGuarded(prompts, []() -> int { throw std::runtime_error("ボードがありません"); }),
              1);
    EXPECT_EQ(RunGuarded(prompts, []() -> int { throw 42; }), 1);
    ASSERT_EQ(prompts.boxes.size(), 2u);
    EXPECT_EQ(prompts.boxes[0].caption, "SELKORAN");
    EXPECT_EQ(prompts.boxes[0].text, "ボードがありません");
    EXPECT_EQ(prompts.boxes[0].icon, PromptIcon::Error);
    EXPECT_EQ(prompts.boxes[1].text, "予期しないエラーが発生しました");
}

TEST(AppProgramStart, RunsOnQtsOwnLoopWhereARunsWakesArrive) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("QT_NO_GLIB");
            StartAndWake(false);
        },
        ::testing::ExitedWithCode(0), "");
}

// An operator who sets QT_NO_GLIB, even empty, keeps that choice: empty keeps glib's loop.
TEST(AppProgramStart, AnOperatorsEmptyQtNoGlibKeepsGlibsLoop) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("QT_NO_GLIB", "", 1);
            StartAndWake(true);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
