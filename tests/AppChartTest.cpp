// SPDX-License-Identifier: GPL-3.0-or-later
// The charts' axes as the operator reads them, zoomed or not: round numbers on every axis,
// whole codes under the histogram's bars, and the samples a zoom asks for.

#include <gtest/gtest.h>

#include <QChart>
#include <QLineSeries>
#include <cmath>
#include <vector>

#include "Codes.h"
#include "RecordingChart.h"
#include "RoundTickAxis.h"
#include "SampleEnvelope.h"
#include "TestApplication.h"

namespace {

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
        SCOPED_TRACE(b);
        time->setRange(a / kRate, b / kRate);
        chart.OnZoomed();
        std::vector<double> shown;
        for (const QPointF& p : trace->points()) {
            if (p.x() >= time->min() && p.x() <= time->max()) {
                shown.push_back(p.y());
            }
        }
        ASSERT_EQ(shown.size(), static_cast<std::size_t>(b - a + 1));
        EXPECT_EQ(shown.front(), CodeToMicrovolts(ramp[static_cast<std::size_t>(a)], 1));
        EXPECT_EQ(shown.back(), CodeToMicrovolts(ramp[static_cast<std::size_t>(b)], 1));
    }
}

}  // namespace
