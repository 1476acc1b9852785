// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// The progress of a run on standard error. On a terminal it is a bar redrawn in place (with
// the percentage and the time left when the rate is known); without one, a run stays quiet,
// while a long recording writes a line every ten seconds and a last one at the end, for logs.
// The time left is shown only while samples come: not once they have stalled, nor at the end.
// A share of a whole (an analysis) is shown as a bar with its percentage only.
class ProgressBar {
public:
    enum class Mode { BarOnly, BarOrLines, Share };
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kLineInterval = std::chrono::seconds(10);
    // No new sample for this long (and for three sample periods): the run has stalled.
    static constexpr Clock::duration kStallTime = std::chrono::seconds(2);

    // `samplesPerSecond` 0: no time left is shown.
    explicit ProgressBar(Mode mode = Mode::BarOnly, double samplesPerSecond = 0.0);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Show(std::int64_t acquired, std::int64_t target);
    // Ends the bar's line, if one was drawn, or writes the last line.
    void Finish();

private:
    // The bar at `percent`, over what the terminal's line showed before.
    void Draw(int percent);
    // "123 / 1000" and, with a rate, the percentage and the time left.
    std::string Text() const;

    bool fTerminal;
    bool fLines;
    bool fShare;
    double rate;
    Clock::duration stallTime;
    bool fTimeLeft = false;
    bool fDrawn = false;
    int shownPercent = -1;
    std::int64_t acquired = 0;
    std::int64_t target = 0;
    Clock::time_point lastShown;
    Clock::time_point lastAdvance;  // when the count last moved
};
