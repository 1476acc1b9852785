// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

RowBand RowBand::United(RowBand other) const {
    if (Empty()) {
        return other;
    }
    if (other.Empty()) {
        return *this;
    }
    return {std::min(top, other.top), std::max(bottom, other.bottom)};
}

Canvas::Canvas(QImage& target)
    : image(target),
      bits(target.bits()),
      stride(target.bytesPerLine()),
      width(target.width()),
      height(target.height()),
      paintedTop(height) {}

void Canvas::Fill(QRgb colour) {
    image.fill(colour);
    paintedTop = 0;
    paintedBottom = height;
}

void Canvas::MoveTo(int x, int y) {
    penX = x;
    penY = y;
}

inline void Canvas::NotePainted(int y0, int y1) {
    paintedTop = std::min(paintedTop, std::min(y0, y1));
    paintedBottom = std::max(paintedBottom, std::max(y0, y1) + 1);
}

// Every pixel of a line lies within the box of its ends, so with both ends inside no pixel
// needs a look of its own.
void Canvas::Line(int x0, int y0, int x1, int y1, bool fLast) {
    NotePainted(y0, y1);
    auto* const row0 = reinterpret_cast<QRgb*>(bits);
    const qsizetype pitch = stride / static_cast<qsizetype>(sizeof(QRgb));
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    while (x0 != x1 || y0 != y1) {
        row0[y0 * pitch + x0] = pen;
        const int e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            error += dx;
            y0 += sy;
        }
    }
    if (fLast) {
        row0[y1 * pitch + x1] = pen;
    }
}

void Canvas::LineTo(int x, int y) {
    const int x0 = penX;
    const int y0 = penY;
    penX = x;
    penY = y;
    if (Inside(x0, y0) && Inside(x, y)) {
        Line(x0, y0, x, y, false);
        return;
    }
    // A point far outside (samples beyond the scale) would cost a step per pixel of the
    // whole line: cut the line to the image first (Liang-Barsky).
    double t0 = 0.0;
    double t1 = 1.0;
    const double ddx = x - x0;
    const double ddy = y - y0;
    const double p[4] = {-ddx, ddx, -ddy, ddy};
    const double q[4] = {static_cast<double>(x0), width - 1.0 - x0, static_cast<double>(y0),
                         height - 1.0 - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) {
                return;
            }
        } else {
            const double t = q[i] / p[i];
            if (p[i] < 0.0) {
                t0 = std::max(t0, t);
            } else {
                t1 = std::min(t1, t);
            }
        }
    }
    if (t0 > t1) {
        return;
    }
    const auto at = [](int from, double delta, double t) {
        return static_cast<int>(std::lround(from + delta * t));
    };
    const int fromX = at(x0, ddx, t0);
    const int fromY = at(y0, ddy, t0);
    const int toX = at(x0, ddx, t1);
    const int toY = at(y0, ddy, t1);
    // The cut ends lie on the image's edges; rounding can never take them further out, and
    // nothing is painted if it did.
    if (!Inside(fromX, fromY) || !Inside(toX, toY)) {
        return;
    }
    // The end point stays unpainted only where the line really ends inside the image.
    Line(fromX, fromY, toX, toY, t1 < 1.0);
}
