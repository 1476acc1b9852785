// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

Canvas::Canvas(QImage& target)
    : image(target),
      bits(target.bits()),
      stride(target.bytesPerLine()),
      width(target.width()),
      height(target.height()) {}

void Canvas::Fill(QRgb colour) {
    image.fill(colour);
}

void Canvas::MoveTo(int x, int y) {
    penX = x;
    penY = y;
}

inline void Canvas::Plot(int x, int y) {
    if (Inside(x, y)) {
        reinterpret_cast<QRgb*>(bits + y * stride)[x] = pen;
    }
}

void Canvas::Line(int x0, int y0, int x1, int y1, bool fLast) {
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    while (x0 != x1 || y0 != y1) {
        Plot(x0, y0);
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
        Plot(x1, y1);
    }
}

bool Canvas::Inside(int x, int y) const {
    return static_cast<unsigned>(x) < static_cast<unsigned>(width) &&
           static_cast<unsigned>(y) < static_cast<unsigned>(height);
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
    // The end point stays unpainted only where the line really ends inside the image.
    Line(at(x0, ddx, t0), at(y0, ddy, t0), at(x0, ddx, t1), at(y0, ddy, t1), t1 < 1.0);
}
