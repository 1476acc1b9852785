// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "common/ChannelSeries.h"
#include "graph/Canvas.h"
#include "graph/Graph_2ch.h"

// What the graph's picture should hold, drawn whole from nothing by the drawing rules: white,
// the eleven grid rows and then columns, and the traces of all samples or of a window of them,
// with the scale the graph holds now. The drawing under test keeps its picture between
// drawings; this one never does.
struct GraphTraces {
    enum class Kind { None, All, Window };
    Kind kind = Kind::None;
    int first = 0;  // a window's samples
    int last = 0;
};

inline QImage WholeGraphPicture(const TGraph_2CH& graph, const ChannelSeries& ch0,
                                const ChannelSeries& ch1, int chSel, bool fVoltMode,
                                GraphTraces traces) {
    QImage image(graph.Bitmap().size(), QImage::Format_RGB32);
    const int w = image.width();
    const int h = image.height();
    Canvas canvas(image);
    canvas.Fill(qRgb(255, 255, 255));
    canvas.SetPen(qRgb(128, 128, 128));
    for (int i = 0; i <= 10; ++i) {
        canvas.MoveTo(0, ((h - 1) * i) / 10);
        canvas.LineTo(w - 1, ((h - 1) * i) / 10);
    }
    for (int i = 0; i <= 10; ++i) {
        canvas.MoveTo(((w - 1) * i) / 10, 0);
        canvas.LineTo(((w - 1) * i) / 10, h - 1);
    }
    const auto y = [&](const ChannelSeries& series, int i) {
        return fVoltMode ? graph.MicrovoltsY(series.Microvolts[i], h)
                         : graph.CodeY(series.Codes[i], h);
    };
    const QRgb red = qRgb(255, 0, 0);
    const QRgb blue = qRgb(0, 0, 255);
    if (traces.kind == GraphTraces::Kind::All) {
        const float step = graph.AllXStep(w);
        for (const auto& [series, colour] : {std::pair{&ch0, red}, std::pair{&ch1, blue}}) {
            if (series->Count < 10) {
                continue;
            }
            canvas.SetPen(colour);
            canvas.MoveTo(TGraph_2CH::SampleX(0, 0, step), y(*series, 0));
            for (int i = 1; i < series->Count; ++i) {
                canvas.LineTo(TGraph_2CH::SampleX(i, 0, step), y(*series, i));
            }
        }
    }
    if (traces.kind == GraphTraces::Kind::Window) {
        const float step = TGraph_2CH::WindowXStep(w, traces.first, traces.last);
        for (int i = traces.first; i < traces.last; ++i) {
            const int x0 = TGraph_2CH::SampleX(i, traces.first, step);
            const int x1 = TGraph_2CH::SampleX(i + 1, traces.first, step);
            for (const auto& [series, colour] : {std::pair{&ch0, red}, std::pair{&ch1, blue}}) {
                if (series == &ch0 ? chSel != 1 : chSel != 0) {
                    canvas.SetPen(colour);
                    canvas.MoveTo(x0, y(*series, i));
                    canvas.LineTo(x1, y(*series, i + 1));
                }
            }
        }
    }
    return image;
}

// What the screen shows of `box` at `source` (box coordinates, the size of the graph's
// picture), once the window has painted what it was asked to (and nothing else has run): the
// window's backing store, which holds only what was painted, so rows a drawing failed to have
// shown again keep their old pixels. The window must have been painted once before.
inline QImage ShownPicture(QWidget& box, QRect source) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QWidget* top = box.window();
    const QImage shown = QGuiApplication::primaryScreen()->grabWindow(top->winId()).toImage();
    return shown.copy(QRect(box.mapTo(top, source.topLeft()), source.size()));
}

// Pixels (RGB, the unused byte of RGB32 aside) that differ between two pictures of one size;
// -1 when the sizes differ.
inline int DifferingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) {
        return -1;
    }
    const QImage first = a.convertToFormat(QImage::Format_RGB32);
    const QImage second = b.convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < first.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(first.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(second.constScanLine(y));
        for (int x = 0; x < first.width(); ++x) {
            n += (p[x] & 0xFFFFFFU) != (q[x] & 0xFFFFFFU) ? 1 : 0;
        }
    }
    return n;
}
