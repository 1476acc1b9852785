// SPDX-License-Identifier: GPL-3.0-or-later
// The charts' axes as the operator reads them, zoomed or not: round numbers on every axis,
// whole codes under the histogram's bars, and the samples a zoom asks for.

#include <gtest/gtest.h>

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QSet>
#include <cmath>
#include <vector>

#include "app/NoiseAnalysisWindow.h"
#include "app/RecordingChart.h"
#include "boardsim/SampleSource.h"
#include "charts/RoundTickAxis.h"
#include "common/Codes.h"
#include "record/SampleEnvelope.h"
#include "tests/fakes/FakePrompts.h"
#include "tests/fakes/TestApplication.h"

namespace {

// The labels an axis shows, checked to be enough and to tell the ticks apart.
QStringList ShownLabels(QValueAxis* axis) {
    auto* ticked = dynamic_cast<RoundTickAxis*>(axis);
    const QStringList labels = ticked != nullptr ? ticked->categoriesLabels() : QStringList();
    EXPECT_GE(labels.size(), 3) << labels.join(' ').toStdString();
    EXPECT_EQ(QSet<QString>(labels.begin(), labels.end()).size(), labels.size());
    return labels;
}

// A zoom into one decade of the spectrum keeps numbers on both log axes, one into the FFT on its
// linear axes; a zoom of the histogram into less than a code still shows three whole codes.
TEST(AppChart, ZoomedChartsKeepTheirNumbers) {
    TestApplication();
    SampleSource source(3, 0.0, 0.0);
    std::vector<std::int32_t> codes;
    for (int i = 0; i < 10000; ++i) {
        codes.push_back(source.NextCodes(16, true)[0]);
    }
    MeasureSettings settings;
    settings.spsSel = 16;
    FakePrompts prompts;
    NoiseAnalysisWindow window(prompts, nullptr);
    window.resize(860, 620);
    window.show();
    window.ShowData(settings, codes, std::nullopt);

    QChart* spectrum = window.ChartViews[1]->chart();
    const QPointF corner = spectrum->mapToPosition({std::log10(2000.0), std::log10(50.0)});
    const QPointF opposite = spectrum->mapToPosition({std::log10(4000.0), std::log10(30.0)});
    spectrum->zoomIn(QRectF(corner, opposite).normalized());
    for (const Qt::Orientation orientation : {Qt::Horizontal, Qt::Vertical}) {
        auto* axis = static_cast<QValueAxis*>(spectrum->axes(orientation).front());
        ASSERT_LT(axis->max() - axis->min(), 1.0);  // inside one decade
        for (const QString& label : ShownLabels(axis)) {
            const double position = std::log10(label.toDouble());
            EXPECT_TRUE(position >= axis->min() && position <= axis->max()) << label.toStdString();
        }
    }

    // The FFT's linear axes, zoomed to 150 Hz by 7 dB.
    QChart* fft = window.ChartViews[3]->chart();
    fft->zoomIn(QRectF(fft->mapToPosition({1000.0, -140.0}), fft->mapToPosition({1150.0, -147.0}))
                    .normalized());
    for (const Qt::Orientation orientation : {Qt::Horizontal, Qt::Vertical}) {
        auto* axis = static_cast<QValueAxis*>(fft->axes(orientation).front());
        ASSERT_LT(axis->max() - axis->min(), 200.0);
        for (const QString& label : ShownLabels(axis)) {
            EXPECT_TRUE(label.toDouble() >= axis->min() && label.toDouble() <= axis->max())
                << label.toStdString();
        }
    }

    auto* codeAxis =
        static_cast<QValueAxis*>(window.ChartViews[0]->chart()->axes(Qt::Horizontal).front());
    codeAxis->setRange(kMidScaleCode + 0.2, kMidScaleCode + 0.7);
    for (const QString& label : ShownLabels(codeAxis)) {
        EXPECT_EQ(label, QString::number(label.toInt())) << label.toStdString();
    }
}

// A zoom of the recording chart to samples a..b, as a dragged rectangle sets the time axis,
// draws both ends inside the chart: a ramp tells each sample by its value.
TEST(AppChart, ZoomingTheRecordingChartToSamplesAToBDrawsSampleB) {
    TestApplication();
    constexpr double kRate = 100.0;
    std::vector<std::int32_t> ramp(1000);
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = kMidScaleCode + static_cast<std::int32_t>(i);
    }
    SampleEnvelope envelope;
    envelope.Add(ramp);
    RecordingChart chart;
    chart.resize(800, 400);
    chart.Begin(kRate, {&envelope, nullptr});
    chart.Settle();
    auto* time = static_cast<QValueAxis*>(chart.chart()->axes(Qt::Horizontal).front());
    const auto* trace = static_cast<QLineSeries*>(chart.chart()->series().front());
    for (const auto& [a, b] : {std::pair{100, 200}, {0, 9}, {990, 999}}) {
        time->setRange(a / kRate, b / kRate);
        chart.OnZoomed();
        std::vector<double> shown;
        for (const QPointF& p : trace->points()) {
            if (p.x() >= time->min() && p.x() <= time->max()) {
                shown.push_back(p.y());
            }
        }
        ASSERT_EQ(shown.size(), static_cast<std::size_t>(b - a + 1)) << b;
        EXPECT_EQ(shown.front(), CodeToMicrovolts(kMidScaleCode + a, 1));
        EXPECT_EQ(shown.back(), CodeToMicrovolts(kMidScaleCode + b, 1));
    }
}

}  // namespace
