// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QRgb>

// A band of whole rows of a picture: top included, bottom excluded; empty when top >= bottom.
struct RowBand {
    int top = 0;
    int bottom = 0;

    bool Empty() const { return top >= bottom; }
    RowBand United(RowBand other) const;
};

// Pen drawing into an RGB32 image with the platform's line rule: a line from the pen's
// position to a point paints every pixel of the integer (Bresenham) line except the end
// point itself, whatever the direction. A line that reaches outside the image is cut to it
// first, so samples far off the scale cost nothing. The canvas keeps the band of rows it has
// painted, so that a kept picture can be put back where it was painted over, and no more.
class Canvas {
public:
    explicit Canvas(QImage& target);

    void Fill(QRgb colour);
    void SetPen(QRgb colour) { pen = colour; }
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    // Rows painted since the canvas was made.
    RowBand Painted() const { return {paintedTop, paintedBottom}; }

private:
    bool Inside(int x, int y) const {
        return static_cast<unsigned>(x) < static_cast<unsigned>(width) &&
               static_cast<unsigned>(y) < static_cast<unsigned>(height);
    }
    // The pixels from (x0, y0) towards (x1, y1), the last one only when `fLast`; both ends
    // lie inside the image.
    void Line(int x0, int y0, int x1, int y1, bool fLast);
    void NotePainted(int y0, int y1);

    QImage& image;
    uchar* bits;
    qsizetype stride;
    int width;
    int height;
    QRgb pen = qRgb(0, 0, 0);
    int penX = 0;
    int penY = 0;
    int paintedTop;
    int paintedBottom = 0;
};
