// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QRgb>

// Pen drawing into an RGB32 image with the platform's line rule: a line from the pen's
// position to a point paints every pixel of the integer (Bresenham) line except the end
// point itself, whatever the direction. A line that reaches outside the image is cut to it
// first, so samples far off the scale cost nothing.
class Canvas {
public:
    explicit Canvas(QImage& target);

    void Fill(QRgb colour);
    void SetPen(QRgb colour) { pen = colour; }
    void MoveTo(int x, int y);
    void LineTo(int x, int y);

private:
    bool Inside(int x, int y) const;
    void Plot(int x, int y);
    // The pixels from (x0, y0) towards (x1, y1), the last one only when `fLast`.
    void Line(int x0, int y0, int x1, int y1, bool fLast);

    QImage& image;
    uchar* bits;
    qsizetype stride;
    int width;
    int height;
    QRgb pen = qRgb(0, 0, 0);
    int penX = 0;
    int penY = 0;
};
