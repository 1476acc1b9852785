// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum chart and the FFT chart as drawn from their figures: the log-frequency density
// reaches below Welch's first bin, its rough points and 1/f corner are marked where the figures
// put them; the FFT marks its tones by order within an axis that shows them all.

#include <gtest/gtest.h>

#include <QChart>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "analysis/NoiseAnalysis.h"
#include "charts/AnalysisCharts.h"
#include "common/Codes.h"
#include "tests/fakes/TestApplication.h"

namespace {

const QXYSeries* Named(const QChart& chart, const QString& prefix) {
    for (QAbstractSeries* series : chart.series()) {
        if (series->name().startsWith(prefix)) {
            return static_cast<const QXYSeries*>(series);
        }
    }
    return nullptr;
}

double AxisMin(const QChart& chart, Qt::Orientation orientation) {
    return static_cast<const QValueAxis*>(chart.axes(orientation).front())->min();
}

double AxisMax(const QChart& chart, Qt::Orientation orientation) {
    return static_cast<const QValueAxis*>(chart.axes(orientation).front())->max();
}

// A recording of an hour's worth: Welch from 7.6 Hz, the log-frequency density from 0.01 Hz,
// 30 nV/√Hz white with a 1/f corner at 2 Hz; the lowest points averaged fewer than 25 times.
// Welch's mean level lies higher, as a tone in its bins would put it.
NoiseAnalysis FlickerAnalysis() {
    NoiseAnalysis a;
    a.sampleRate = 31250.0;
    for (int k = 0; k <= 2048; ++k) {
        a.spectrum.frequencyHz.push_back(k * 31250.0 / 4096);
        a.spectrum.nanovoltsPerRootHz.push_back(30.0);
    }
    a.spectrum.whiteNoiseNanovoltsPerRootHz = 33.0;
    for (int i = -20; i <= 41; ++i) {
        const double f = std::pow(10.0, i / 10.0);
        a.logSpectrum.frequencyHz.push_back(f);
        a.logSpectrum.nanovoltsPerRootHz.push_back(30.0 * std::sqrt(1.0 + 2.0 / f));
        a.logSpectrum.averages.push_back(2.3 * std::pow(10.0, (i + 20) / 10.0));
    }
    a.logSpectrum.whiteNoiseNanovoltsPerRootHz = 30.0;
    a.logSpectrum.flickerCornerHz = 2.0;
    return a;
}

TEST(ChartsSpectrumCharts, TheLogDensityReachesItsLowestPointAndMarksTheCorner) {
    TestApplication();
    const NoiseAnalysis a = FlickerAnalysis();
    const std::unique_ptr<QChart> chart(
        AnalysisCharts::Create(AnalysisCharts::Kind::Spectrum, a, 0));
    EXPECT_LE(AxisMin(*chart, Qt::Horizontal), -2.0) << "down to 0.01 Hz, below Welch's 7.6 Hz";
    ASSERT_NE(Named(*chart, "Welch（分解能 7.629 Hz）"), nullptr);
    const QXYSeries* density = Named(*chart, "対数周波数");
    ASSERT_NE(density, nullptr);
    EXPECT_EQ(density->count(), 62);
    // Averaged 2.3 times at 0.01 Hz, ten times as often a decade up: below 25 up to 0.1 Hz.
    const QXYSeries* rough = Named(*chart, "ばらつき ±10 % 超");
    ASSERT_NE(rough, nullptr);
    ASSERT_EQ(rough->count(), 11);
    EXPECT_DOUBLE_EQ(rough->at(10).x(), -1.0);
    const QXYSeries* corner = Named(*chart, "1/f コーナー 2.000 Hz");
    ASSERT_NE(corner, nullptr);
    EXPECT_DOUBLE_EQ(corner->at(0).x(), std::log10(2.0));
    EXPECT_DOUBLE_EQ(corner->at(0).y(), std::log10(30.0));
    // The corner sits on the white level drawn: the fitted one, across the whole chart.
    const QXYSeries* level = Named(*chart, "ホワイトノイズ 30.00 nV/√Hz（フィット）");
    ASSERT_NE(level, nullptr);
    EXPECT_DOUBLE_EQ(level->at(0).y(), std::log10(30.0));
    EXPECT_DOUBLE_EQ(level->at(0).x(), -2.0);
    // The 1/f line from the lowest point, at white · √(corner / f), to the corner.
    const QXYSeries* line = Named(*chart, "1/f ノイズ");
    ASSERT_NE(line, nullptr);
    EXPECT_DOUBLE_EQ(line->at(0).x(), -2.0);
    EXPECT_NEAR(line->at(0).y(), std::log10(30.0 * std::sqrt(2.0 / 0.01)), 1e-12);

    // No corner fitted: neither line nor mark; no level fitted either: Welch's, the table's.
    NoiseAnalysis white = a;
    white.logSpectrum.flickerCornerHz.reset();
    white.logSpectrum.whiteNoiseNanovoltsPerRootHz.reset();
    const std::unique_ptr<QChart> plain(
        AnalysisCharts::Create(AnalysisCharts::Kind::Spectrum, white, 0));
    EXPECT_EQ(Named(*plain, "1/f"), nullptr);
    ASSERT_NE(Named(*plain, "ホワイトノイズ 33.00 nV/√Hz"), nullptr);
    EXPECT_EQ(Named(*plain, "ホワイトノイズ 33.00 nV/√Hz")->name(), "ホワイトノイズ 33.00 nV/√Hz");
}

std::vector<std::int32_t> SineCodes(double hz, double peak, double hd2Dbc, std::size_t n) {
    std::vector<std::int32_t> codes;
    const double second = peak * std::pow(10.0, hd2Dbc / 20.0);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2.0 * std::numbers::pi * hz * static_cast<double>(i) / 31250.0;
        codes.push_back(kMidScaleCode +
                        static_cast<std::int32_t>(std::lround(
                            (peak * std::sin(t) + second * std::sin(2 * t)) / kMicrovoltsPerCode)));
    }
    return codes;
}

TEST(ChartsSpectrumCharts, TheFftMarksItsTonesByOrderWithinItsAxes) {
    TestApplication();
    MeasureSettings settings;
    settings.spsSel = 16;
    // A harmonic above half the rate lands folded: 2 × 9000 Hz at 13250 Hz.
    const auto a = NoiseAnalysis::WithDynamic(SineCodes(9000.0, 2e6, -60.0, 8192), settings);
    ASSERT_TRUE(a && a->dynamic && a->dynamic->sine);
    const std::unique_ptr<QChart> chart(AnalysisCharts::Create(AnalysisCharts::Kind::Fft, *a, 0));
    EXPECT_EQ(chart->title(), "CH0 FFT（Blackman-Harris 窓、8192 データ）");
    std::vector<std::pair<QString, QPointF>> marks;
    for (QAbstractSeries* series : chart->series()) {
        if (const auto* mark = qobject_cast<QScatterSeries*>(series)) {
            marks.emplace_back(mark->pointLabelsFormat(), mark->at(0));
        }
    }
    ASSERT_GE(marks.size(), 2U);
    EXPECT_EQ(marks[0].first, "1");
    EXPECT_NEAR(marks[0].second.x(), 9000.0, 31250.0 / 8192);
    EXPECT_EQ(marks[1].first, "2");
    EXPECT_NEAR(marks[1].second.x(), 31250.0 - 18000.0, 31250.0 / 8192);
    EXPECT_EQ(AxisMin(*chart, Qt::Horizontal), 0.0);
    EXPECT_EQ(AxisMax(*chart, Qt::Horizontal), 15625.0);
    EXPECT_EQ(AxisMax(*chart, Qt::Vertical), 0.0);
    // The fundamental's mark sits on the highest point, and the floor of the axis lies below
    // every bin that has power and every mark.
    const auto* spectrum = static_cast<const QXYSeries*>(chart->series().front());
    double highest = -1000.0;
    for (const QPointF& p : spectrum->points()) {
        EXPECT_GE(p.y(), AxisMin(*chart, Qt::Vertical));
        highest = std::max(highest, p.y());
    }
    EXPECT_EQ(marks[0].second.y(), highest);
    for (const auto& [order, point] : marks) {
        EXPECT_GE(point.y(), AxisMin(*chart, Qt::Vertical)) << order.toStdString();
    }

    // Too short for a transform: the chart says so and draws nothing.
    const auto shortOne = NoiseAnalysis::WithDynamic(SineCodes(9000.0, 2e6, -60.0, 1000), settings);
    const std::unique_ptr<QChart> empty(
        AnalysisCharts::Create(AnalysisCharts::Kind::Fft, *shortOne, 1));
    EXPECT_EQ(empty->title(), "CH1 FFT（データが1024個未満のため FFT を計算できません）");
    EXPECT_TRUE(empty->series().isEmpty());
}

}  // namespace
