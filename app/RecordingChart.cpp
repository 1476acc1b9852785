// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RecordingChart.h"

#include <QLineSeries>
#include <algorithm>
#include <cmath>

#include "charts/RoundTickAxis.h"
#include "common/Codes.h"

namespace {

const QString kChannelNames[] = {QStringLiteral("CH0"), QStringLiteral("CH1")};
// An axis end set to a sample's time may come back a hair off it.
constexpr double kSampleSlack = 1e-6;

double Microvolts(std::int32_t code) {
    return CodeToMicrovolts(code, 1);
}

// An axis takes a new range only when its values leave the old one or fill less than half
// of it; it then leaves a quarter more room. Redrawing an axis and its labels costs more than
// the traces, so a slow recording's chart mostly redraws the traces alone. An ended
// recording's values take the axis exactly.
void KeepAbout(QValueAxis* axis, double low, double high, bool fExact) {
    const double span = axis->max() - axis->min();
    if (fExact) {
        axis->setRange(low, high);
        return;
    }
    if (low >= axis->min() && high <= axis->max() && (high - low) * 2 >= span) {
        return;
    }
    const double room = (high - low) * 0.25;
    axis->setRange(low == 0.0 ? 0.0 : low - room, high + room);
}

}  // namespace

RecordingChart::RecordingChart() {
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignTop);
    // The chart's own rounded background is painted by Qt's thread pool at every redraw, which
    // wakes its threads each time; the view's plain white background looks the same.
    chart->setBackgroundVisible(false);
    setBackgroundBrush(Qt::white);
    timeAxis = new RoundTickAxis(RoundTickAxis::Scale::Linear);
    timeAxis->setTitleText(QStringLiteral("時間 [s]"));
    chart->addAxis(timeAxis, Qt::AlignBottom);
    for (std::size_t i = 0; i < traces.size(); ++i) {
        traces[i] = new QLineSeries;
        traces[i]->setName(kChannelNames[i]);
        chart->addSeries(traces[i]);
        voltAxes[i] = new RoundTickAxis(RoundTickAxis::Scale::Linear);
        voltAxes[i]->setTitleText(kChannelNames[i] + QStringLiteral(" [uV]"));
        voltAxes[i]->setLabelsColor(traces[i]->color());
        chart->addAxis(voltAxes[i], i == 0 ? Qt::AlignLeft : Qt::AlignRight);
        traces[i]->attachAxis(timeAxis);
        traces[i]->attachAxis(voltAxes[i]);
        traces[i]->setVisible(false);
        voltAxes[i]->setVisible(false);
    }
    setChart(chart);
    OnZoomed = [this] { ZoomToAxes(); };
    OnReset = [this] { Unzoom(); };
}

void RecordingChart::Begin(double sampleRate, std::array<const SampleEnvelope*, 2> envelopes) {
    rate = sampleRate;
    sources = envelopes;
    fSettled = false;
    fZoomed = false;
    fReadGood = false;
    for (std::size_t i = 0; i < traces.size(); ++i) {
        traces[i]->clear();
        traces[i]->setVisible(sources[i] != nullptr);
        voltAxes[i]->setVisible(sources[i] != nullptr);
        drawn[i] = 0;
    }
    Refresh();
}

void RecordingChart::Settle() {
    fSettled = true;
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
    return static_cast<std::int64_t>(std::floor(std::max(seconds, 0.0) * rate + kSampleSlack));
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
    Draw(first, count);
    const double start = static_cast<double>(first) / rate;
    // The newest sample stands at the end of the time axis.
    const double end = static_cast<double>(std::max<std::int64_t>(count - 1, first + 1)) / rate;
    if (followSeconds) {
        timeAxis->setRange(start, std::max(end, start + *followSeconds));
    } else {
        KeepAbout(timeAxis, 0.0, end, fSettled);
    }
}

void RecordingChart::Draw(std::int64_t first, std::int64_t last) {
    shownFirst = first;
    shownLast = last;
    for (std::size_t i = 0; i < traces.size(); ++i) {
        if (sources[i] == nullptr) {
            continue;
        }
        Read(i, first, last);
        line.clear();
        double low = 0;
        double high = 0;
        for (const SampleEnvelope::Point& p : points) {
            const double least = Microvolts(p.extent.min);
            const double most = Microvolts(p.extent.max);
            // A bucket is a stroke between its extremes, up and down in turn, so that the
            // strokes join into the band the samples fill; it stands amid its samples' times.
            const double t =
                (static_cast<double>(p.first) + static_cast<double>(p.count - 1) / 2) / rate;
            const bool fUp = (p.first / std::max<std::int64_t>(p.count, 1)) % 2 == 0;
            line.append(QPointF(t, fUp ? least : most));
            if (p.count > 1) {
                line.append(QPointF(t, fUp ? most : least));
            }
            const bool fFirst = &p == points.data();
            low = fFirst ? least : std::min(low, least);
            high = fFirst ? most : std::max(high, most);
        }
        traces[i]->replace(line);
        drawn[i] = static_cast<std::size_t>(line.size());
        if (!fZoomed && !line.isEmpty()) {
            // A flat trace still gets some height, so it is drawn inside the plot.
            const double margin = std::max((high - low) * 0.05, 1.0);
            KeepAbout(voltAxes[i], low - margin, high + margin, fSettled);
        }
    }
}

void RecordingChart::Read(std::size_t i, std::int64_t first, std::int64_t last) {
    const SampleEnvelope& source = *sources[i];
    const std::int64_t oldestHeld = source.Count() - static_cast<std::int64_t>(source.RecentHeld());
    last = std::min(last, source.Count());
    const bool fShort = last - first <= static_cast<std::int64_t>(MostPoints());
    if (first >= oldestHeld || !fShort || !ReadFromFile(i, first, last)) {
        source.Read(first, last, MostPoints(), points);
    }
}

bool RecordingChart::ReadFromFile(std::size_t i, std::int64_t first, std::int64_t last) {
    if (!readBack || first >= last) {
        return false;
    }
    // A failed reading is tried again: the stretch may have been handed to the file since.
    if (!fReadGood || first != readFirst || last != readLast) {
        readFirst = first;
        readLast = last;
        fReadGood = readBack(first, last, readCodes);
    }
    if (!fReadGood || readCodes[i].size() != static_cast<std::size_t>(last - first)) {
        return false;
    }
    points.clear();
    for (std::size_t k = 0; k < readCodes[i].size(); ++k) {
        const std::int32_t code = readCodes[i][k];
        points.push_back({first + static_cast<std::int64_t>(k), 1, {code, code}});
    }
    return true;
}

void RecordingChart::ZoomToAxes() {
    // The samples whose times the axis shows, both ends included.
    const std::int64_t first = std::max<std::int64_t>(
        static_cast<std::int64_t>(std::ceil(timeAxis->min() * rate - kSampleSlack)), 0);
    const std::int64_t last = SampleAt(timeAxis->max()) + 1;
    fZoomed = true;
    Draw(first, std::max(last, first + 1));
}

void RecordingChart::Unzoom() {
    fZoomed = false;
    Refresh();
}
