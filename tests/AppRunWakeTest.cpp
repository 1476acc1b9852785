// SPDX-License-Identifier: GPL-3.0-or-later
// The window's run on a driver whose readiness descriptor the test signals: what a wake
// reads, and wakes that bring nothing, never come, or report a hang-up.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/Program.h"
#include "app/RecordingWindow.h"
#include "app/Selkoran_main.h"
#include "link/Ad7172.h"
#include "status/Mystatus.h"
#include "tests/AppTestSupport.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakePrompts.h"
#include "tests/fakes/ScriptedFifo.h"
#include "tests/fakes/TestApplication.h"

using namespace std::chrono_literals;
using Call = ScriptedFifo::Call;

namespace {

// Two-channel records whose codes tell their sample number.
std::string Records(int first, int count) {
    std::string bytes;
    char record[TADC::kRecordBytes2CH + 1];
    for (int i = first; i < first + count; ++i) {
        std::snprintf(record, sizeof record, "%06X%06X\r", 0x100000 + i, 0x200000 + i);
        bytes += record;
    }
    return bytes;
}

// A two-channel run at 31250 per second (blocks of 100) on a scripted board that answers
// identification and configuration and then sends only what the test queues.
struct ScriptedRun {
    explicit ScriptedRun(int countIndex) {
        TestApplication();
        for (const char* command : {"?", "S5", "FX"}) {
            board.OnCommand(command, {"OK\r"});
        }
        board.OnCommand("U?", {"SELKORAN\r"});
        board.OnCommand("V?", {"1.10\r"});
        program = std::make_unique<Program>(board, prompts, clock.Timing());
        window = &program->Window();
        window->show();
        window->ComboBox1->setCurrentIndex(16);
        window->ComboBox2->setCurrentIndex(countIndex);
        window->ComboBox3->setCurrentIndex(2);
        window->MeasureBtn->click();
    }

    // Runs the window's event loop until `done` holds or `limit` of real time has passed.
    void RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) const {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!done() && elapsed.elapsed() < limit.count()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
    }
    void RunFor(std::chrono::milliseconds span) const {
        RunUntil([] { return false; }, span);
    }
    int Looks() const { return board.CountCalls(Call::GetQueueStatus); }
    QString Readout() const { return TmyStatus::Panel(*window->StatusBar1, 2)->text(); }

    ScriptedFifo board;
    FakeClock clock;
    FakePrompts prompts;
    std::unique_ptr<Program> program;
    TFormMain* window = nullptr;
};

TEST(AppRunWake, AWakeReadsWholeBlocksOneAtATimeAndLeavesAPartOne) {
    ScriptedRun run(2);  // 500 samples: five blocks
    ASSERT_TRUE(run.window->Measuring());
    run.board.Queue(Records(0, 250));
    run.board.Signal();  // one signal for two and a half blocks
    run.RunUntil([&] { return run.window->Acquired() == 200; }, 2s);
    EXPECT_EQ(run.window->Acquired(), 200);

    // The half block stays queued, and waiting for its rest does not spin.
    const int looks = run.Looks();
    run.RunFor(300ms);
    EXPECT_EQ(run.window->Acquired(), 200);
    EXPECT_LE(run.Looks() - looks, 8);
    EXPECT_EQ(run.Readout(), "データ番号：200 / AD変換値：1048775 / 2097351");  // sample 199

    run.board.Queue(Records(250, 250));
    run.board.Signal();
    run.RunUntil([&] { return !run.window->Measuring(); }, 2s);
    ASSERT_EQ(run.window->Series(1).Count, 500);
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(run.window->Series(0).Codes[i], 0x100000 + i) << i;
        ASSERT_EQ(run.window->Series(1).Codes[i], 0x200000 + i) << i;
    }
}

TEST(AppRunWake, MisbehavingReadinessNeitherHangsNorSpins) {
    ScriptedRun run(1);
    // A signal with nothing to read: one look that finds nothing, then sleep again.
    const int looks = run.Looks();
    run.board.Signal();
    run.RunFor(300ms);
    EXPECT_GE(run.Looks() - looks, 1);
    // The signal's look; a driver that signals is looked at unasked only once a second.
    EXPECT_LE(run.Looks() - looks, 2);
    EXPECT_EQ(run.window->Acquired(), 0);
    EXPECT_EQ(run.Readout(), "測定開始処理中です。。。");

    // Bytes that the driver never announces are found by that look.
    run.board.Queue(Records(0, 200));
    run.RunUntil([&] { return !run.window->Measuring(); }, 3s);
    EXPECT_EQ(run.window->Series(0).Count, 200);
    EXPECT_TRUE(run.prompts.boxes.empty());
}

TEST(AppRunWake, HangUpEndsTheRunAsAFailedReadDoes) {
    ScriptedRun run(1);
    run.board.Queue(Records(0, 100));
    run.board.Signal();
    run.RunUntil([&] { return run.window->Acquired() == 100; }, 2s);
    ASSERT_EQ(run.window->Acquired(), 100);

    run.board.HangUp();  // the board is unplugged
    run.RunUntil([&] { return !run.window->Measuring(); }, 2s);
    EXPECT_FALSE(run.window->Measuring());
    EXPECT_EQ(run.Readout(), "計測エラーで終了");
    EXPECT_FALSE(run.window->HasData(0));
    EXPECT_EQ(run.window->Series(0).Count, 0);
    EXPECT_EQ(run.window->MeasureBtn->text(), "測定開始");
    EXPECT_TRUE(run.board.written.ends_with("AX\r"));
}

// A slow recording shows each block in the wake that brought it: no timer is left to show it
// later, so the window wakes once per sample.
TEST(AppRunWake, SlowRecordingShowsEachBlockInTheWakeThatBroughtIt) {
    WindowFixture f;
    f.window->LongRecording1Click();
    RecordingWindow* r = f.window->Recording();
    const auto path = std::filesystem::temp_directory_path() /
                      ("selkoran-wake-" + std::to_string(::getpid()) + ".csv");
    r->FileEdit->setText(QString::fromStdString(path.string()));
    r->RateBox->setCurrentIndex(0);  // 1.25 per second, CH0
    r->CountEdit->setValue(5);
    r->StartBtnClick();
    for (int sample = 1; sample <= 3; ++sample) {
        f.board.Advance(820ms);  // a period and the chip's latency time
        r->RecordWake();
        EXPECT_TRUE(r->ProgressLabel->text().startsWith(QString("データ数 %1 / 5").arg(sample)))
            << r->ProgressLabel->text().toStdString();
    }
    r->StartBtnClick();
    std::filesystem::remove(path);
}

}  // namespace
