// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointF>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "charts/ZoomingChartView.h"
#include "record/SampleEnvelope.h"

class QLineSeries;
class QValueAxis;

// The chart of a growing recording: one trace per channel in microvolts against seconds, drawn
// from each channel's envelope with at most twice the plot's pixel width of points, so a long
// recording draws as fast as a short one. It follows the newest sample over the whole recording
// or its last minutes, until a dragged rectangle zooms into a stretch (drawn from the envelope
// level that fits it, or from the samples themselves, read back from the recording's file when
// the envelope no longer holds them, or its buckets where that read fails: the file gone, the
// stretch not yet handed to the system); a right click follows again. Sample i stands at
// i / rate seconds, a bucket amid its samples' times, so a zoom shows the samples at both ends
// of the axis.
class RecordingChart : public ZoomingChartView {
public:
    // The codes of samples [first, last) per channel, read back from the recording's file;
    // false when they cannot be.
    using ReadBack = std::function<bool(std::int64_t first, std::int64_t last,
                                        std::array<std::vector<std::int32_t>, 2>& codes)>;

    RecordingChart();

    // Where a close look at samples no longer held in memory finds them.
    void SetReadBack(ReadBack read) { readBack = std::move(read); }

    // A new recording at `sampleRate`; a channel not recorded has no envelope.
    void Begin(double sampleRate, std::array<const SampleEnvelope*, 2> envelopes);
    // The stretch followed: the last `seconds`, or the whole recording.
    void Follow(std::optional<double> seconds);
    // Draws what the envelopes hold now.
    void Refresh();
    // The recording has ended: its values fill the chart exactly (while it goes on, the axes
    // keep room to grow).
    void Settle();

    // Points drawn per channel at the last refresh, and the most allowed.
    std::size_t PointsDrawn(int channel) const { return drawn[static_cast<std::size_t>(channel)]; }
    std::size_t MostPoints() const;
    // The samples the x axis shows, [first, last).
    std::int64_t FirstShown() const { return shownFirst; }
    std::int64_t LastShown() const { return shownLast; }

private:
    void ZoomToAxes();
    void Unzoom();
    // Sample i stands at i / rate seconds; the sample at or before `seconds`.
    std::int64_t SampleAt(double seconds) const;
    // Fills the traces for samples [first, last); scales each channel's axis to its trace
    // unless zoomed.
    void Draw(std::int64_t first, std::int64_t last);
    // The points of samples [first, last) of channel i: the samples themselves when the
    // stretch is short (from the file when the envelope no longer holds them), else buckets.
    void Read(std::size_t i, std::int64_t first, std::int64_t last);
    bool ReadFromFile(std::size_t i, std::int64_t first, std::int64_t last);

    double rate = 1.0;
    std::array<const SampleEnvelope*, 2> sources{};
    std::array<QLineSeries*, 2> traces{};
    QValueAxis* timeAxis = nullptr;
    std::array<QValueAxis*, 2> voltAxes{};  // each channel its own scale: CH0 left, CH1 right
    std::optional<double> followSeconds;
    bool fZoomed = false;
    bool fSettled = false;
    std::int64_t shownFirst = 0;
    std::int64_t shownLast = 0;
    std::array<std::size_t, 2> drawn{};
    std::vector<SampleEnvelope::Point> points;  // reused by every refresh
    ReadBack readBack;
    // The last stretch read from the file: old samples do not change, so a refresh of the
    // same zoom reads it once.
    std::int64_t readFirst = 0;
    std::int64_t readLast = 0;
    bool fReadGood = false;
    std::array<std::vector<std::int32_t>, 2> readCodes;
    QList<QPointF> line;
};
