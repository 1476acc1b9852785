// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ProgressBar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kBarWidth = 40;
// A bar that shows the time left is redrawn at least this often.
constexpr auto kRedrawInterval = std::chrono::seconds(1);

// "1:02:03" for 3723 seconds.
std::string ClockText(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

// A slow rate stalls only after three of its sample periods.
ProgressBar::Clock::duration StallTime(double samplesPerSecond) {
    const auto periods = std::chrono::duration_cast<ProgressBar::Clock::duration>(
        std::chrono::duration<double>(samplesPerSecond > 0.0 ? 3.0 / samplesPerSecond : 0.0));
    return std::max(ProgressBar::kStallTime, periods);
}

}  // namespace

ProgressBar::ProgressBar(Mode mode, double samplesPerSecond)
    : fTerminal(isatty(STDERR_FILENO) == 1),
      fLines(!fTerminal && mode == Mode::BarOrLines),
      fShare(mode == Mode::Share),
      rate(samplesPerSecond),
      stallTime(StallTime(samplesPerSecond)),
      lastShown(Clock::now()),
      lastAdvance(lastShown) {}

ProgressBar::~ProgressBar() {
    Finish();
}

void ProgressBar::Show(std::int64_t done, std::int64_t total) {
    if (total <= 0) {
        return;
    }
    const Clock::time_point now = Clock::now();
    if (done != acquired) {
        lastAdvance = now;
    }
    acquired = done;
    target = total;
    fTimeLeft = rate > 0.0 && now - lastAdvance < stallTime;
    const int percent = static_cast<int>(acquired * 100 / target);
    if (fLines) {
        if (now - lastShown >= kLineInterval) {
            std::fprintf(stderr, "%s\n", Text().c_str());
            lastShown = now;
            fDrawn = true;
        }
        return;
    }
    // Redrawn only when the percentage or the time left moves, so fast runs do not flood the
    // terminal.
    const bool fTimeMoved = rate > 0.0 && now - lastShown >= kRedrawInterval;
    if (!fTerminal || (percent == shownPercent && !fTimeMoved)) {
        return;
    }
    shownPercent = percent;
    lastShown = now;
    Draw(percent);
}

void ProgressBar::Finish() {
    fTimeLeft = false;
    if (fLines && target > 0) {
        std::fprintf(stderr, "%s\n", Text().c_str());
        target = 0;
    } else if (fDrawn && fTerminal) {
        Draw(shownPercent);
        std::fputc('\n', stderr);
    }
    fDrawn = false;
}

void ProgressBar::Draw(int percent) {
    const int filled = percent * kBarWidth / 100;
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '.');
    // The erase to the line's end takes what a longer text left behind.
    std::fprintf(stderr, "\r[%s] %s\x1b[K", bar.c_str(), Text().c_str());
    std::fflush(stderr);
    fDrawn = true;
}

std::string ProgressBar::Text() const {
    if (fShare) {
        return std::to_string(acquired * 100 / target) + " %";
    }
    std::string text = std::to_string(acquired) + " / " + std::to_string(target);
    if (rate > 0.0) {
        text += "  " + std::to_string(acquired * 100 / target) + " %";
    }
    if (fTimeLeft) {
        const auto secondsLeft =
            static_cast<std::int64_t>(static_cast<double>(target - acquired) / rate);
        text += "  残り " + ClockText(secondsLeft);
    }
    return text;
}
