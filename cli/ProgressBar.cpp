// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgressBar.h"

#include <unistd.h>

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

}  // namespace

ProgressBar::ProgressBar(Mode mode, double samplesPerSecond)
    : fTerminal(isatty(STDERR_FILENO) == 1),
      fLines(!fTerminal && mode == Mode::BarOrLines),
      rate(samplesPerSecond),
      lastShown(Clock::now()) {}

ProgressBar::~ProgressBar() {
    Finish();
}

void ProgressBar::Show(std::int64_t done, std::int64_t total) {
    if (total <= 0) {
        return;
    }
    acquired = done;
    target = total;
    const Clock::time_point now = Clock::now();
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
    const int filled = percent * kBarWidth / 100;
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %s", bar.c_str(), Text().c_str());
    std::fflush(stderr);
    fDrawn = true;
}

void ProgressBar::Finish() {
    if (fLines && target > 0) {
        std::fprintf(stderr, "%s\n", Text().c_str());
        target = 0;
    } else if (fDrawn && fTerminal) {
        std::fputc('\n', stderr);
    }
    fDrawn = false;
}

std::string ProgressBar::Text() const {
    std::string text = std::to_string(acquired) + " / " + std::to_string(target);
    if (rate > 0.0) {
        const auto secondsLeft =
            static_cast<std::int64_t>(static_cast<double>(target - acquired) / rate);
        text +=
            "  " + std::to_string(acquired * 100 / target) + " %  残り " + ClockText(secondsLeft);
    }
    return text;
}
