// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>

class QChart;
struct NoiseAnalysis;
struct PictureCaption;

// The noise analysis window's charts of one channel: the code histogram with its Gaussian,
// the noise spectral density and the Allan deviation, the last two on log-log axes (their
// series hold log10 of the values on numbered axes, with Qt's own log axes behind them for the
// light lines at 2 .. 9 of each decade), and the FFT of a sine applied in dBFS over a linear
// frequency axis (of the analysis's dynamic figures; an analysis without them draws an empty
// chart). The command line draws the same charts off-screen.
class AnalysisCharts {
public:
    enum class Kind { Histogram, Spectrum, Allan, Fft };
    static constexpr QSize kPictureSize{800, 500};

    // A new chart; the caller owns it (a chart view takes it over).
    static QChart* Create(Kind kind, const NoiseAnalysis& analysis, int channel);
    // The chart as the window's view shows it, drawn off-screen at kPictureSize, with the
    // caption under it. Needs a QApplication.
    static QImage Picture(Kind kind, const NoiseAnalysis& analysis, int channel,
                          const PictureCaption& caption);
};
