// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>

class Measurement;
class QString;

// The graph as the window draws it, off-screen: the part of the window's client area left of
// the settings controls and above the status bar, with the window's graph panel at its design
// size and place, and the caption in one line under that area. Needs a QApplication.
class GraphPicture {
public:
    static constexpr QSize kSize{656, 433};

    // Draws all samples (or the empty graph when there are none) in microvolts or codes; the
    // caption names the data file at `sourcePath` (empty: data just measured).
    static QImage Render(Measurement& data, bool fVolt, const QString& sourcePath);
};
