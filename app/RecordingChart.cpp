// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingChart.h"

#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "Codes.h"

namespace {

const QString kChannelNames[] = {QStringLiteral("CH0"), QStringLiteral("CH1")};

double Microvolts(std::int32_t code) {
    return CodeToMicrovolts(code, 1);
}

}  // namespace

RecordingChart::RecordingChart() {
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignTop);
    timeAxis = new QValueAxis;
    timeAxis->setTitleText(QStringLiteral("時間 [s]"));
    voltAxis = new QValueAxis;
    voltAxis->setTitleText(QStringLiteral("電圧 [uV]"));
    chart->addAxis(timeAxis, Qt::AlignBottom);
    chart->addAxis(voltAxis, Qt::AlignLeft);
    for (std::size_t i = 0; i < traces.size(); ++i) {
        traces[i] = new QLineSeries;
        traces[i]->setName(kChannelNames[i]);
        chart->addSeries(traces[i]);
        traces[i]->attachAxis(timeAxis);
        traces[i]->attachAxis(voltAxis);
        traces[i]->setVisible(false);
    }
    setChart(chart);
    OnZoomed = [this] { ZoomToAxes(); };
    OnReset = [this] { Unzoom(); };
}

void RecordingChart::Begin(double sampleRate, std::array<const SampleEnvelope*, 2> envelopes) {
    rate = sampleRate;
    sources = envelopes;
    fZoomed = false;
    for (std::size_t i = 0; i < traces.size(); ++i) {
        traces[i]->clear();
        traces[i]->setVisible(sources[i] != nullptr);
        drawn[i] = 0;
    }
    Refresh();
}

void RecordingChart::Follow(std::optional<double> seconds) {
    followSeconds = seconds;
    fZoomed = false;
    Refresh();
}

std::size_t RecordingChart::MostPoints() const {
    const auto width = static_cast<std::size_t>(std::max(chart()->plotArea().width(), 100.0));
    return 2 * width;
}

std::int64_t RecordingChart::SampleAt(double seconds) const {
    return static_cast<std::int64_t>(std::floor(std::max(seconds, 0.0) * rate));
}

void RecordingChart::Refresh() {
    std::int64_t count = 0;
    for (const SampleEnvelope* source : sources) {
        count = std::max(count, source != nullptr ? source->Count() : 0);
    }
    if (fZoomed) {
        Draw(shownFirst, shownLast);
        return;
    }
    std::int64_t first = 0;
    if (followSeconds) {
        first = std::max<std::int64_t>(0, count - SampleAt(*followSeconds));
    }
    const auto extremes = Draw(first, count);
    const double start = static_cast<double>(first) / rate;
    const double end = static_cast<double>(std::max<std::int64_t>(count, first + 1)) / rate;
    timeAxis->setRange(start, followSeconds ? std::max(end, start + *followSeconds) : end);
    if (extremes) {
        // A flat trace still gets some height, so it is drawn inside the plot.
        const double margin = std::max((extremes->second - extremes->first) * 0.05, 1.0);
        voltAxis->setRange(extremes->first - margin, extremes->second + margin);
    }
}

std::optional<std::pair<double, double>> RecordingChart::Draw(std::int64_t first,
                                                              std::int64_t last) {
    shownFirst = first;
    shownLast = last;
    std::optional<std::pair<double, double>> extremes;
    for (std::size_t i = 0; i < traces.size(); ++i) {
        if (sources[i] == nullptr) {
            continue;
        }
        sources[i]->Read(first, last, MostPoints(), points);
        line.clear();
        for (const SampleEnvelope::Point& p : points) {
            const double low = Microvolts(p.extent.min);
            const double high = Microvolts(p.extent.max);
            // A bucket is drawn as a stroke from its smallest to its largest value.
            const double t =
                (static_cast<double>(p.first) + static_cast<double>(p.count) / 2) / rate;
            line.append(QPointF(t, low));
            if (p.count > 1) {
                line.append(QPointF(t, high));
            }
            extremes = extremes ? std::pair(std::min(extremes->first, low),
                                            std::max(extremes->second, high))
                                : std::pair(low, high);
        }
        traces[i]->replace(line);
        drawn[i] = static_cast<std::size_t>(line.size());
    }
    return extremes;
}

void RecordingChart::ZoomToAxes() {
    const std::int64_t first = SampleAt(timeAxis->min());
    const std::int64_t last = SampleAt(timeAxis->max()) + 1;
    fZoomed = true;
    Draw(first, std::max(last, first + 1));
}

void RecordingChart::Unzoom() {
    fZoomed = false;
    Refresh();
}
