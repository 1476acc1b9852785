// SPDX-License-Identifier: GPL-3.0-or-later
// The real program on a real X server (Xvfb): found by its title, looked at in a screenshot,
// and operated with synthetic mouse and key events.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QImage>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <map>
#include <memory>
#include <optional>

namespace {

using namespace std::chrono_literals;

const QColor kGrid(128, 128, 128);
const QColor kRed(255, 0, 0);

// An X server of our own for the length of one test.
class XServer {
public:
    XServer() {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
                   "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The read end stays open: the server writes its number again when it resets.
        displayPipe = fds[0];
        char text[16] = {};
        const ssize_t n = read(displayPipe, text, sizeof text - 1);
        if (n > 0) {
            display = ":" + QString::fromLatin1(text).trimmed();
        }
    }
    ~XServer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        if (displayPipe >= 0) {
            close(displayPipe);
        }
    }
    QString display;

private:
    pid_t pid = -1;
    int displayPipe = -1;
};

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
            QStandardPaths::findExecutable("xdotool").isEmpty()) {
            GTEST_SKIP() << "Xvfb and xdotool are needed (scripts/setup installs them)";
        }
        ASSERT_FALSE(server.display.isEmpty());
        env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", server.display);
        env.remove("QT_QPA_PLATFORM");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("SELKORAN_INSTANCE", "desktop-test-" + QString::number(getpid()));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(SELKORAN_BUILD_DIR "/selkoran"), {"--device", "sim"});
        ASSERT_TRUE(program.waitForStarted());
        window = FindWindow();
        ASSERT_FALSE(window.isEmpty()) << "no window titled SELKORAN / v1.10";
        const QString geometry = Tool("xdotool", {"getwindowgeometry", "--shell", window});
        const std::map<QString, int*> fields = {
            {"X", &x}, {"Y", &y}, {"WIDTH", &width}, {"HEIGHT", &height}};
        for (const QString& line : geometry.split('\n')) {
            const auto kv = line.split('=');
            if (kv.size() == 2 && fields.count(kv[0]) != 0) {
                *fields.at(kv[0]) = kv[1].toInt();
            }
        }
    }
    void TearDown() override {
        if (program.state() != QProcess::NotRunning) {
            program.terminate();
            program.waitForFinished(5000);
        }
    }

    QString Tool(const QString& name, const QStringList& args, int waitMs = 10000) {
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.start(name, args);
        if (!tool.waitForFinished(waitMs)) {
            tool.kill();
            tool.waitForFinished();
            return {};
        }
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }
    // Another copy of the program with the same environment (and so the same instance).
    std::unique_ptr<QProcess> StartCopy(const QProcessEnvironment& environment) {
        auto copy = std::make_unique<QProcess>();
        copy->setProcessEnvironment(environment);
        copy->start(QStringLiteral(SELKORAN_BUILD_DIR "/selkoran"), {"--device", "sim"});
        copy->waitForStarted();
        return copy;
    }
    // Visible top-level windows whose title is exactly `title`.
    QStringList VisibleWindows(const QString& title) {
        const QString ids = Tool("xdotool", {"search", "--onlyvisible", "--name",
                                             "^" + QRegularExpression::escape(title) + "$"});
        return ids.isEmpty() ? QStringList() : ids.split('\n');
    }
    // Presses Return in every visible box titled "SELKORAN" until `copy` ends.
    bool DismissBoxesUntilFinished(QProcess& copy) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            if (copy.waitForFinished(300)) {
                return true;
            }
            for (const QString& box : VisibleWindows("SELKORAN")) {
                Tool("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
            }
        }
        return false;
    }
    QString FindWindow() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            const QString id = Tool("xdotool", {"search", "--name", "^SELKORAN / v1\\.10$"});
            if (!id.isEmpty()) {
                return id.split('\n').first();
            }
            QThread::msleep(100);
        }
        return {};
    }
    QImage Screenshot() {
        QProcess grab;
        grab.setProcessEnvironment(env);
        grab.start("import", {"-window", "root", "png:-"});
        grab.waitForFinished(20000);
        return QImage::fromData(grab.readAllStandardOutput(), "PNG");
    }
    // The client area's top on the screen: the graph's top grid line is client row 25.
    std::optional<int> ClientTop(const QImage& shot) const {
        for (int row = y; row < y + height; ++row) {
            if (shot.pixelColor(x + 300, row) == kGrid && shot.pixelColor(x + 500, row) == kGrid) {
                return row - 25;
            }
        }
        return std::nullopt;
    }
    // Waits until `ready` holds for a screenshot, or gives the last one.
    QImage WaitForScreen(const std::function<bool(const QImage&)>& ready) {
        QImage shot;
        QElapsedTimer clock;
        clock.start();
        do {
            shot = Screenshot();
            if (!shot.isNull() && ready(shot)) {
                break;
            }
            QThread::msleep(200);
        } while (clock.elapsed() < 20000);
        return shot;
    }
    // Input goes through the X server and the program's event loop: give each step time to
    // take effect (a combo box's list must be open before keys can reach it).
    void Click(int clientX, int clientY, int top) {
        Tool("xdotool", {"mousemove", QString::number(x + clientX), QString::number(top + clientY),
                         "click", "1"});
        QThread::msleep(700);
    }
    void Keys(const QStringList& keys) {
        for (const QString& key : keys) {
            Tool("xdotool", {"key", key});
            QThread::msleep(300);
        }
    }
    int CountPixels(const QImage& shot, int top, const QColor& colour) const {
        int n = 0;
        for (int row = top + 25; row < top + 24 + 368; ++row) {
            for (int col = x + 73; col < x + 72 + 559; ++col) {
                n += shot.pixelColor(col, row) == colour ? 1 : 0;
            }
        }
        return n;
    }

    XServer server;
    QTemporaryDir runtime;
    QProcessEnvironment env;
    QProcess program;
    QString window;
    int x = 0, y = 0, width = 0, height = 0;
};

TEST_F(Desktop, WindowTitleSizeAndEmptyGraph) {
    const QString names = Tool("xprop", {"-id", window, "WM_NAME", "_NET_WM_NAME"});
    EXPECT_TRUE(names.contains("WM_NAME(STRING) = \"SELKORAN / v1.10\"") ||
                names.contains("WM_NAME(UTF8_STRING) = \"SELKORAN / v1.10\""))
        << names.toStdString();
    EXPECT_TRUE(names.contains("_NET_WM_NAME(UTF8_STRING) = \"SELKORAN / v1.10\""))
        << names.toStdString();
    EXPECT_EQ(width, 792);

    const QImage shot = WaitForScreen([this](const QImage& s) { return ClientTop(s).has_value(); });
    const auto top = ClientTop(shot);
    ASSERT_TRUE(top.has_value());
    EXPECT_EQ(*top + 458, y + height);  // the client area ends with the window
    // Grid: eleven rows and columns of the 558 x 367 picture at (73, 25) of the client area.
    for (int i = 0; i <= 10; ++i) {
        const int gridRow = *top + 25 + (366 * i) / 10;
        const int gridCol = x + 73 + (557 * i) / 10;
        EXPECT_EQ(shot.pixelColor(x + 100, gridRow), kGrid) << "row " << i;
        EXPECT_EQ(shot.pixelColor(gridCol, *top + 25 + 20), kGrid) << "column " << i;
    }
    EXPECT_EQ(shot.pixelColor(x + 73 + 30, *top + 25 + 20), QColor(Qt::white));
    // The buttons are drawn where the layout puts them: not plain window background.
    const QColor background = shot.pixelColor(x + 700, *top + 300);
    int differing = 0;
    for (int col = 660; col < 765; col += 5) {
        differing += shot.pixelColor(x + col, *top + 358) != background ? 1 : 0;
    }
    EXPECT_GT(differing, 0);
}

TEST_F(Desktop, MeasuringDrawsARedTrace) {
    const QImage first =
        WaitForScreen([this](const QImage& s) { return ClientTop(s).has_value(); });
    const auto top = ClientTop(first);
    ASSERT_TRUE(top.has_value());
    EXPECT_EQ(CountPixels(first, *top, kRed), 0);
    // Fastest rate, 100 samples, then start.
    Click(656 + 50, 40 + 10, *top);
    Keys({"End", "Return"});
    Click(656 + 50, 84 + 10, *top);
    Keys({"Home", "Return"});
    Click(656 + 56, 342 + 16, *top);
    const QImage shot =
        WaitForScreen([&](const QImage& s) { return CountPixels(s, *top, kRed) > 100; });
    EXPECT_GT(CountPixels(shot, *top, kRed), 100);
}

}  // namespace

namespace {

TEST_F(Desktop, SecondCopyShowsTheBoxAndLeavesTheFirstInFront) {
    auto second = StartCopy(env);
    // The second copy's box: a visible window titled exactly "SELKORAN".
    QElapsedTimer clock;
    clock.start();
    while (VisibleWindows("SELKORAN").isEmpty() && clock.elapsed() < 20000) {
        QThread::msleep(100);
    }
    ASSERT_FALSE(VisibleWindows("SELKORAN").isEmpty()) << "no already-running box";
    ASSERT_TRUE(DismissBoxesUntilFinished(*second));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_EQ(program.state(), QProcess::Running);
    EXPECT_EQ(VisibleWindows("SELKORAN / v1.10"), QStringList{window});
}

TEST_F(Desktop, OneCopyPerUserSession) {
    // The same user under another instance key: a copy of its own.
    QProcessEnvironment otherKey = env;
    otherKey.insert("SELKORAN_INSTANCE", env.value("SELKORAN_INSTANCE") + "-other");
    // A second user: the same key in that user's own runtime folder.
    QTemporaryDir secondRuntime;
    QProcessEnvironment secondUser = env;
    secondUser.insert("XDG_RUNTIME_DIR", secondRuntime.path());
    auto other = StartCopy(otherKey);
    auto second = StartCopy(secondUser);
    const auto waitFor = [](const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 20000) {
            QThread::msleep(100);
        }
        return done();
    };
    EXPECT_TRUE(waitFor([&] { return VisibleWindows("SELKORAN / v1.10").size() == 3; }));

    // The second user's next copy must reach that user's first copy. Ours is frozen: a copy
    // that asked it would wait in vain and end without the box.
    kill(static_cast<pid_t>(program.processId()), SIGSTOP);
    auto secondAgain = StartCopy(secondUser);
    EXPECT_TRUE(waitFor([&] { return !VisibleWindows("SELKORAN").isEmpty(); })) << "no box";
    EXPECT_TRUE(DismissBoxesUntilFinished(*secondAgain));
    EXPECT_EQ(secondAgain->exitCode(), 1);
    kill(static_cast<pid_t>(program.processId()), SIGCONT);

    // Each first copy listens; one that could not would say so on standard error.
    for (QProcess* copy : {&program, other.get(), second.get()}) {
        EXPECT_EQ(copy->state(), QProcess::Running);
        EXPECT_EQ(copy->readAllStandardError().toStdString(), "");
    }
    for (QProcess* copy : {other.get(), second.get()}) {
        copy->terminate();
        copy->waitForFinished();
    }
}

TEST_F(Desktop, CrashedCopyNeverBlocksTheNextStart) {
    program.kill();  // no clean-up at all: the lock file stays behind
    program.waitForFinished();
    auto next = StartCopy(env);
    QElapsedTimer clock;
    clock.start();
    while (VisibleWindows("SELKORAN / v1.10").isEmpty() && clock.elapsed() < 20000) {
        QThread::msleep(100);
    }
    EXPECT_EQ(VisibleWindows("SELKORAN / v1.10").size(), 1);
    EXPECT_EQ(next->state(), QProcess::Running);
    next->terminate();
    next->waitForFinished();
}

TEST_F(Desktop, LockHeldByASilentProcessEndsTheStartQuietly) {
    QProcessEnvironment other = env;
    const QString key = "silent-holder-" + QString::number(getpid());
    other.insert("SELKORAN_INSTANCE", key);
    QLockFile held(runtime.path() + "/" + key + ".lock");
    ASSERT_TRUE(held.tryLock(0));
    auto copy = StartCopy(other);
    ASSERT_TRUE(copy->waitForFinished(10000));
    EXPECT_EQ(copy->exitCode(), 1);
    EXPECT_TRUE(VisibleWindows("SELKORAN").isEmpty());
}

TEST_F(Desktop, TwoCopiesStartedTogetherLeaveOneRunning) {
    QProcessEnvironment pair = env;
    pair.insert("SELKORAN_INSTANCE", "pair-" + QString::number(getpid()));
    auto a = StartCopy(pair);
    auto b = StartCopy(pair);
    // Whichever lost ends with code 1 (after its box, if the winner answered in time).
    QElapsedTimer clock;
    clock.start();
    while (!a->waitForFinished(100) && !b->waitForFinished(100) && clock.elapsed() < 30000) {
        for (const QString& box : VisibleWindows("SELKORAN")) {
            Tool("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
        }
    }
    QProcess& loser = a->state() == QProcess::Running ? *b : *a;
    QProcess& winner = a->state() == QProcess::Running ? *a : *b;
    ASSERT_EQ(loser.state(), QProcess::NotRunning);
    EXPECT_EQ(loser.exitCode(), 1);
    EXPECT_EQ(winner.state(), QProcess::Running);
    winner.terminate();
    winner.waitForFinished();
}

}  // namespace
