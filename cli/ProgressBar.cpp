#include "ProgressBar.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kBarWidth = 40;

}  // namespace

ProgressBar::ProgressBar() : fEnabled(isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
    Finish();
}

void ProgressBar::Show(int acquired, int target) {
    if (!fEnabled || target <= 0) {
        return;
    }
    // Redrawn only when the percentage moves, so fast runs do not flood the terminal.
    const int percent = static_cast<int>(static_cast<long long>(acquired) * 100 / target);
    if (percent == shownPercent) {
        return;
    }
    shownPercent = percent;
    const int filled = percent * kBarWidth / 100;
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %d / %d", bar.c_str(), acquired, target);
    std::fflush(stderr);
    fDrawn = true;
}

void ProgressBar::Finish() {
    if (fDrawn) {
        std::fputc('\n', stderr);
        fDrawn = false;
    }
}
