// SPDX-License-Identifier: GPL-3.0-or-later
// The recording window on the simulated board, its clock moved by the test: a recording grows
// into its file with the simulator's samples, stops on request and on a fault, and shares the
// board with the main window's run.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QLineEdit>
#include <QLineSeries>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QValueAxis>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/NoiseAnalysisWindow.h"
#include "app/RecordingWindow.h"
#include "boardsim/SampleSource.h"
#include "common/Codes.h"
#include "record/Hdf5RecordingReader.h"
#include "tests/AppTestSupport.h"

namespace {

using namespace std::chrono_literals;

// The rows of a recording: sample number, then each channel's code.
std::vector<std::vector<std::int64_t>> Rows(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::vector<std::int64_t>> rows;
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with('#') || line.starts_with("sample,")) {
            continue;
        }
        std::vector<std::int64_t> row;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) {
            if (row.empty() || row.size() % 2 == 1) {  // number and codes; not the microvolts
                std::int64_t value = 0;
                std::from_chars(cell.data(), cell.data() + cell.size(), value);
                row.push_back(value);
            } else {
                row.push_back(0);
            }
        }
        rows.push_back(row);
    }
    return rows;
}

struct RecordingFixture : WindowFixture {
    explicit RecordingFixture(BoardOptions options = {}) : WindowFixture(std::move(options)) {
        window->LongRecording1Click();
        r = window->Recording();
        r->FileEdit->setText(QString::fromStdString(path));
    }
    ~RecordingFixture() { std::filesystem::remove(path); }

    void Choose(int spsSel, int chSel, int count) {
        r->RateBox->setCurrentIndex(spsSel);
        r->ChannelBox->setCurrentIndex(chSel);
        r->CountEdit->setValue(count);
    }
    // Wakes the recording as its wake-ups would, the board's clock running, for `span` at
    // most; how long it recorded.
    std::chrono::milliseconds RecordFor(std::chrono::milliseconds span,
                                        std::chrono::milliseconds step = 2ms) {
        auto t = 0ms;
        for (; r->Recording() && t < span; t += step) {
            board.Advance(step);
            r->RecordWake();
        }
        return t;
    }

    std::string path = (std::filesystem::temp_directory_path() /
                        ("selkoran-window-" + std::to_string(::getpid()) + ".csv"))
                           .string();
    RecordingWindow* r = nullptr;
};

}  // namespace

TEST(AppRecording, GrowsIntoTheFileWithTheSimulatorsSamplesStopsAndIsAnalysed) {
    RecordingFixture f;
    f.Choose(16, 2, 200000);
    f.r->StartBtnClick();
    ASSERT_TRUE(f.r->Recording());
    EXPECT_EQ(f.r->windowTitle(), "SELKORAN / 長時間記録");
    EXPECT_EQ(f.r->StartBtn->text(), "記録停止");
    EXPECT_TRUE(f.r->WakeArmed());
    f.RecordFor(100ms);
    const std::int64_t early = f.r->View().Envelope(0).Count();
    f.RecordFor(100ms);
    EXPECT_GT(early, 0);
    EXPECT_GT(f.r->View().Envelope(1).Count(), early);  // it grows
    f.r->View().ShowProgress();
    EXPECT_GT(f.r->Chart().PointsDrawn(0), 0u);
    EXPECT_LE(f.r->Chart().PointsDrawn(1), f.r->Chart().MostPoints());

    f.r->StartBtnClick();
    EXPECT_FALSE(f.r->Recording());
    EXPECT_EQ(f.r->Outcome(), AcquisitionOutcome::Stopped);
    EXPECT_TRUE(f.board.wire.ends_with("AX\r"));
    EXPECT_EQ(f.r->StartBtn->text(), "記録開始");
    EXPECT_TRUE(f.prompts.boxes.empty());

    // Every sample the board sent and the chart saw is in the file, in order.
    const auto rows = Rows(f.path);
    ASSERT_EQ(static_cast<std::int64_t>(rows.size()), f.r->View().Envelope(0).Count());
    SampleSource source(BoardOptions{}.seed, BoardOptions{}.ch0Microvolts,
                        BoardOptions{}.ch1Microvolts);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto codes = source.NextCodes(16, true);
        ASSERT_EQ(rows[i], (std::vector<std::int64_t>{static_cast<std::int64_t>(i) + 1, codes[0], 0,
                                                      codes[1], 0}))
            << "row " << i;
    }

    f.r->AnalyseBtnClick();
    NoiseAnalysisWindow* analysis = f.window->AnalysisWindow();
    ASSERT_NE(analysis, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!analysis->Analysing(), 20000);
    ASSERT_NE(analysis->ShownAnalysis(), nullptr);
    EXPECT_EQ(analysis->ShownAnalysis()->statistics.count, static_cast<std::int64_t>(rows.size()));
    EXPECT_EQ(analysis->ChannelBox->count(), 2);
}

// A zoom into an old stretch, long out of the samples held in memory, draws its samples read
// back from the file; without the file the chart falls back to the envelope's buckets.
TEST(AppRecording, AZoomIntoAnOldStretchDrawsTheSamplesFromTheFile) {
    RecordingFixture f;
    f.Choose(16, 0, 120000);
    f.r->StartBtnClick();
    f.RecordFor(5000ms);
    ASSERT_EQ(f.r->Outcome(), AcquisitionOutcome::Complete);
    RecordingChart& chart = f.r->Chart();
    const auto zoom = [&chart](std::int64_t first, std::int64_t last) {
        chart.chart()
            ->axes(Qt::Horizontal)
            .front()
            ->setRange(static_cast<double>(first) / 31250, static_cast<double>(last) / 31250);
        chart.OnZoomed();
    };
    zoom(1000, 2000);
    ASSERT_GE(chart.PointsDrawn(0), 1000u);
    const auto* trace = static_cast<QLineSeries*>(chart.chart()->series().front());
    SampleSource source(BoardOptions{}.seed, BoardOptions{}.ch0Microvolts,
                        BoardOptions{}.ch1Microvolts);
    for (std::int64_t sample = 0; sample < chart.FirstShown(); ++sample) {
        source.NextCodes(16, true);
    }
    for (const QPointF& point : trace->points()) {
        EXPECT_EQ(point.y(), CodeToMicrovolts(source.NextCodes(16, true)[0], 1));
    }

    std::filesystem::remove(f.path);
    zoom(3000, 4000);
    EXPECT_GT(chart.PointsDrawn(0), 0u);
    EXPECT_LT(chart.PointsDrawn(0), 100u);
}

TEST(AppRecording, AnExistingFileAndClosingBothAskAndTheFileStaysComplete) {
    RecordingFixture f;
    f.Choose(8, 0, 100000);
    std::ofstream(f.path) << "keep\n";
    f.prompts.yesNoAnswers = {false};
    f.r->StartBtnClick();
    EXPECT_FALSE(f.r->Recording());
    EXPECT_EQ(f.prompts.questions.back().text,
              "ファイル：" + f.path + "があります。\n上書きしますか");
    EXPECT_FALSE(f.prompts.questions.back().defaultYes);  // Enter keeps the file
    EXPECT_EQ(f.board.wire, "");                          // declining starts nothing
    EXPECT_EQ(std::filesystem::file_size(f.path), 5u);

    f.prompts.yesNoAnswers = {true};
    f.r->StartBtnClick();
    ASSERT_TRUE(f.r->Recording());
    f.RecordFor(2000ms);
    f.prompts.yesNoAnswers = {false};
    EXPECT_FALSE(f.r->close());
    EXPECT_TRUE(f.r->Recording());
    EXPECT_EQ(f.prompts.questions.back().text, "記録を中止しますか？");

    f.prompts.yesNoAnswers = {true};
    EXPECT_TRUE(f.r->close());
    EXPECT_FALSE(f.r->Recording());
    EXPECT_EQ(f.r->Outcome(), AcquisitionOutcome::Stopped);
    std::ifstream file(f.path);
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_TRUE(text.ends_with('\n'));
    EXPECT_EQ(static_cast<std::int64_t>(Rows(f.path).size()), f.r->View().Envelope(0).Count());
    EXPECT_GE(Rows(f.path).size(), 150u);  // about 200 at 100.2 per second
}

TEST(AppRecording, AnUnpluggedBoardEndsWithTheMeasureErrorAndKeepsWhatCame) {
    BoardOptions options;
    ASSERT_TRUE(BoardOptions::Parse("vanish=300", &options, nullptr));
    RecordingFixture f(options);
    f.Choose(8, 1, 1000);
    f.r->StartBtnClick();
    f.RecordFor(10000ms);
    EXPECT_EQ(f.r->Outcome(), AcquisitionOutcome::ReadFailed);
    ASSERT_EQ(f.prompts.boxes.size(), 1u);
    EXPECT_EQ(f.prompts.boxes[0].text, "計測エラーで終了");
    // The records before the board went, in the chart and in the file alike.
    EXPECT_GT(f.r->View().Envelope(1).Count(), 250);
    EXPECT_LE(f.r->View().Envelope(1).Count(), 300);
    EXPECT_EQ(static_cast<std::int64_t>(Rows(f.path).size()), f.r->View().Envelope(1).Count());
    EXPECT_TRUE(f.window->MeasureBtn->isEnabled());
}

TEST(AppRecording, TheRunAndTheRecordingNeverHaveTheBoardAtOnce) {
    RecordingFixture f;
    f.Choose(8, 0, 100000);
    f.r->StartBtnClick();
    ASSERT_TRUE(f.r->Recording());
    EXPECT_FALSE(f.window->MeasureBtn->isEnabled());
    const std::string wire = f.board.wire;
    f.window->MeasureBtnClick();
    EXPECT_FALSE(f.window->Measuring());
    EXPECT_EQ(f.board.wire, wire);  // the run sent nothing
    f.r->StartBtnClick();
    EXPECT_TRUE(f.window->MeasureBtn->isEnabled());

    std::filesystem::remove(f.path);
    f.window->MeasureBtnClick();
    ASSERT_TRUE(f.window->Measuring());
    EXPECT_FALSE(f.window->LongRecording1->isEnabled());
    EXPECT_FALSE(f.r->StartBtn->isEnabled());
    f.r->StartBtnClick();
    EXPECT_FALSE(f.r->Recording());
    EXPECT_FALSE(std::filesystem::exists(f.path));
    f.RunUntilIdle();
    EXPECT_TRUE(f.r->StartBtn->isEnabled());
    EXPECT_EQ(f.window->Acquired(), 1000);  // the run after a recording identified the board again
}

// The save dialog offers both types; an HDF5 file grows as the CSV does, a zoom into an old
// stretch reads its samples back from /codes, and the analysis reads the file.
TEST(AppRecording, RecordsIntoAnHdf5FileWhoseOldStretchesTheChartReadsBack) {
    RecordingFixture f;
    const std::string path = f.path.substr(0, f.path.size() - 4) + ".h5";
    f.prompts.fileAnswers = {path};
    f.r->BrowseBtnClick();
    EXPECT_EQ(f.prompts.fileDialogs.back().filter,
              "CSV ファイル (*.csv);;HDF5 ファイル (*.h5 *.hdf5)");
    EXPECT_EQ(f.r->FileEdit->text().toStdString(), path);
    f.Choose(16, 0, 120000);
    f.r->StartBtnClick();
    f.RecordFor(5000ms);
    ASSERT_EQ(f.r->Outcome(), AcquisitionOutcome::Complete);

    SampleSource source(BoardOptions{}.seed, BoardOptions{}.ch0Microvolts,
                        BoardOptions{}.ch1Microvolts);
    std::vector<std::int32_t> expected;
    for (int i = 0; i < 120000; ++i) {
        expected.push_back(source.NextCodes(16, true)[0]);
    }
    Hdf5RecordingReader reader;
    std::array<std::vector<std::int32_t>, 2> codes;
    ASSERT_TRUE(reader.Open(path)) << reader.Reason();
    ASSERT_TRUE(reader.ReadRows(0, 120000, codes));
    EXPECT_EQ(codes[0], expected);

    RecordingChart& chart = f.r->Chart();
    chart.chart()->axes(Qt::Horizontal).front()->setRange(1000.0 / 31250, 2000.0 / 31250);
    chart.OnZoomed();
    const auto* trace = static_cast<QLineSeries*>(chart.chart()->series().front());
    ASSERT_GE(trace->count(), 1000);
    for (int i = 0; i < trace->count(); ++i) {
        EXPECT_EQ(trace->at(i).y(),
                  CodeToMicrovolts(expected[static_cast<std::size_t>(chart.FirstShown() + i)], 1));
    }
    f.r->AnalyseBtnClick();
    QTRY_VERIFY_WITH_TIMEOUT(!f.window->AnalysisWindow()->Analysing(), 20000);
    ASSERT_NE(f.window->AnalysisWindow()->ShownAnalysis(), nullptr);
    EXPECT_EQ(f.window->AnalysisWindow()->ShownAnalysis()->statistics.count, 120000);
    std::filesystem::remove(path);
}

// A slow rate's gaps stay well inside a 3 s time-out; a silent board ends after 3 s.
TEST(AppRecording, TheNoDataTimeOutIsInSeconds) {
    struct Row {
        const char* faults;
        AcquisitionOutcome outcome;
        int milliseconds;  // until the end
    };
    const Row rows[] = {{"", AcquisitionOutcome::Complete, 4000},
                        {"stopafter=0", AcquisitionOutcome::TimedOut, 3000}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        BoardOptions options;
        ASSERT_TRUE(BoardOptions::Parse(row.faults, &options, nullptr));
        RecordingFixture f(options);
        f.Choose(0, 0, 5);  // 1.25 per second
        f.r->TimeoutEdit->setValue(3);
        f.r->StartBtnClick();
        EXPECT_NEAR(static_cast<double>(f.RecordFor(10000ms, 20ms).count()), row.milliseconds, 100);
        EXPECT_EQ(f.r->Outcome(), row.outcome);
    }
}

// Only the chosen length can be edited, a CH0 recording has no CH1 column, an ended one no time
// left; failures name the file and the reason, and the last complete file can be analysed.
TEST(AppRecording, ShowsWhatBelongsToTheRecordingAndNamesTheFileOfAFailure) {
    RecordingFixture f;
    EXPECT_FALSE(f.r->DurationEdits[0]->isEnabled());
    f.r->DurationBtn->setChecked(true);
    EXPECT_FALSE(f.r->CountEdit->isEnabled());
    f.r->CountBtn->setChecked(true);
    f.Choose(16, 0, 1000);
    f.r->StartBtnClick();
    f.RecordFor(1000ms);
    EXPECT_TRUE(f.r->FigureTable->isColumnHidden(2));
    EXPECT_FALSE(f.r->ProgressLabel->text().contains("残り"));
    const std::string full = f.path + ".full.csv";  // a full disk
    const std::string nowhere = f.path + ".missing/rec.csv";
    std::filesystem::create_symlink("/dev/full", full);
    for (const std::string& file : {full, nowhere}) {
        f.r->FileEdit->setText(QString::fromStdString(file));
        f.prompts.yesNoAnswers = {true};
        f.r->StartBtnClick();
        f.RecordFor(1000ms);
    }
    std::filesystem::remove(full);
    ASSERT_EQ(f.prompts.boxes.size(), 2u);
    EXPECT_EQ(f.prompts.boxes[0].text, "データ保存できませんでした：" + full +
                                           "（ディスクがいっぱいです）\nファイル：" + full +
                                           "にデータはありません");
    EXPECT_EQ(f.prompts.boxes[1].text,
              "データ保存できませんでした：" + nowhere + "（ファイルまたはフォルダがありません）");
    EXPECT_EQ(f.r->ProgressLabel->text(), "");
    ASSERT_TRUE(f.r->AnalyseBtn->isEnabled());
    f.r->AnalyseBtnClick();
    QTRY_VERIFY_WITH_TIMEOUT(!f.window->AnalysisWindow()->Analysing(), 20000);
    ASSERT_NE(f.window->AnalysisWindow()->ShownAnalysis(), nullptr);
    EXPECT_EQ(f.window->AnalysisWindow()->ShownAnalysis()->statistics.count, 1000);
}

// A length chosen as a duration records that time's samples at the chosen rate (1 min 10 s at
// 100.2 per second: 7014); the chart follows the chosen last minute, and the figures cover the
// chosen number of the newest samples: the mean against the file's own.
TEST(AppRecording, ADurationsSamplesAndTheViewsSpans) {
    RecordingFixture f;
    f.Choose(8, 0, 1);
    f.r->DurationBtn->setChecked(true);
    f.r->DurationEdits[1]->setValue(1);
    f.r->DurationEdits[2]->setValue(10);
    f.r->StartBtnClick();
    EXPECT_TRUE(
        f.r->ProgressLabel->text().startsWith("データ数 0 / 7014　経過 00:00:00　残り 00:01:10"))
        << f.r->ProgressLabel->text().toStdString();
    f.RecordFor(75000ms, 5ms);
    ASSERT_EQ(f.r->Outcome(), AcquisitionOutcome::Complete);
    const auto rows = Rows(f.path);
    ASSERT_EQ(rows.size(), 7014u);
    EXPECT_TRUE(
        f.r->ProgressLabel->text().startsWith("データ数 7014 / 7014　経過 00:01:10　ファイル "))
        << f.r->ProgressLabel->text().toStdString();

    f.r->SpanBox->setCurrentIndex(1);  // the last minute: 6012 samples
    EXPECT_NEAR(static_cast<double>(f.r->Chart().FirstShown()), 7014 - 6012, 2);
    f.r->SpanBox->setCurrentIndex(0);
    EXPECT_EQ(f.r->Chart().FirstShown(), 0);

    const auto meanOfNewest = [&rows](std::size_t count) {
        double sum = 0;
        for (std::size_t i = rows.size() - count; i < rows.size(); ++i) {
            sum += CodeToMicrovolts(static_cast<std::int32_t>(rows[i][1]), 1);
        }
        return sum / static_cast<double>(count);
    };
    const auto shownMean = [&f] {
        const auto found = f.r->FigureTable->findItems("平均値", Qt::MatchExactly);
        return found.empty() ? std::nan("")
                             : f.r->FigureTable->item(found.front()->row(), 1)->text().toDouble();
    };
    f.r->FigureSpanBox->setCurrentIndex(0);  // the newest 1000
    EXPECT_NEAR(shownMean(), meanOfNewest(1000), 1e-3);
    f.r->FigureSpanBox->setCurrentIndex(1);  // 10000: all of them
    EXPECT_NEAR(shownMean(), meanOfNewest(rows.size()), 1e-3);
    EXPECT_GT(std::abs(meanOfNewest(1000) - meanOfNewest(rows.size())), 2e-3);
}
