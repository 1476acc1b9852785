// SPDX-License-Identifier: GPL-3.0-or-later
// The window on selkoran-boardsim, a separate process reached through a pseudo-terminal,
// in real time: the whole chain as with a board on the kernel's serial driver.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include "link/driver/TtyFifo.h"
#include "tests/AppTestSupport.h"
#include "tests/fakes/SlowClock.h"

namespace {

class BoardSimServer {
public:
    BoardSimServer() {
        process.start(QStringLiteral(SELKORAN_BUILD_DIR "/selkoran-boardsim"), {});
        if (process.waitForStarted() && process.waitForReadyRead(10000)) {
            path = QString::fromUtf8(process.readLine()).trimmed();
        }
    }
    ~BoardSimServer() {
        process.terminate();
        process.waitForFinished(5000);
    }
    QProcess process;
    QString path;
};

// Runs `window`'s event loop until its run has ended or 20 s have passed.
void RunToEnd(TFormMain& window) {
    QElapsedTimer clock;
    clock.start();
    while (window.Measuring() && clock.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

TEST(AppPty, TwoChannelRunThroughTheKernelMatchesTheInProcessBoard) {
    TestApplication();
    BoardSimServer server;
    ASSERT_TRUE(server.path.startsWith("/dev/pts/")) << server.path.toStdString();
    TtyFifo tty(server.path.toStdString());
    FakePrompts prompts;
    // The window's own event pump, with its 100 ms reply time-out stretched to 5 s of real time.
    Program program(tty, prompts, Slowed(RunWake::WindowTiming(), 50));
    TFormMain& window = program.Window();
    window.show();
    window.ComboBox1->setCurrentIndex(16);
    window.ComboBox2->setCurrentIndex(3);
    window.ComboBox3->setCurrentIndex(2);
    window.MeasureBtn->click();
    RunToEnd(window);
    ASSERT_FALSE(window.Measuring());
    EXPECT_TRUE(prompts.boxes.empty());
    EXPECT_EQ(window.Series(0).Count, 1000);
    EXPECT_EQ(window.Series(1).Count, 1000);

    // The same board in process, on the same seed, gives the same samples: none lost,
    // none twice, none out of order.
    WindowFixture reference;
    reference.window->ComboBox1->setCurrentIndex(16);
    reference.window->ComboBox2->setCurrentIndex(3);
    reference.window->ComboBox3->setCurrentIndex(2);
    reference.window->MeasureBtn->click();
    reference.RunUntilIdle();
    for (int channel : {0, 1}) {
        const ChannelSeries& got = window.Series(channel);
        const ChannelSeries& expected = reference.window->Series(channel);
        EXPECT_TRUE(std::equal(got.Codes, got.Codes + 1000, expected.Codes)) << channel;
    }

    // A second run goes straight to the open board.
    window.MeasureBtn->click();
    RunToEnd(window);
    EXPECT_EQ(window.Series(0).Count, 1000);
    EXPECT_TRUE(window.BoardReady());
}

}  // namespace
