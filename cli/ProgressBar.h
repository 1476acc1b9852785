#pragma once

// The run's progress on standard error, redrawn in place, only when standard error is a
// terminal (scripts and logs get no bar).
class ProgressBar {
public:
    ProgressBar();
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Show(int acquired, int target);
    // Ends the bar's line, if one was drawn.
    void Finish();

private:
    bool fEnabled;
    bool fDrawn = false;
    int shownPercent = -1;
};
