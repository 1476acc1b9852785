// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/Graph_2ch.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QWidget>

#include "graph/Canvas.h"

// The graph's drawing: the off-screen picture, grid, traces and axis labels.
namespace {

const QRgb kBackground = qRgb(255, 255, 255);
const QRgb kGridColour = qRgb(128, 128, 128);
const QRgb kCh0Colour = qRgb(255, 0, 0);
const QRgb kCh1Colour = qRgb(0, 0, 255);
constexpr int kGridSteps = 10;
constexpr int kMinTraceSamples = 10;  // a channel with fewer samples draws no trace

}  // namespace

void TGraph_2CH::UpdateSize() {
    if (paintBox == nullptr) {
        return;
    }
    boxWidth = paintBox->width();
    boxHeight = paintBox->height();
    bmpWidth = std::max(boxWidth - 2, 1);
    bmpHeight = std::max(boxHeight - 2, 1);
    dstRect = QRect(QPoint(1, 1), QPoint(boxWidth - 2, boxHeight - 2));
    srcRect = QRect(0, 0, bmpWidth, bmpHeight);
    if (bitmap.size() != srcRect.size()) {
        bitmap = QImage(bmpWidth, bmpHeight, QImage::Format_RGB32);
        bitmap.fill(kBackground);
        grid = QImage(bmpWidth, bmpHeight, QImage::Format_RGB32);
        Canvas canvas(grid);
        ClearBitmap(canvas);
        DrawHorizontalGrid(canvas);
        DrawVerticalGrid(canvas);
        traceRows = {0, bmpHeight};  // the new bitmap is blank, not yet the grid
    }
}

void TGraph_2CH::ClearBitmap(Canvas& canvas) const {
    canvas.Fill(kBackground);
}

// Eleven rows from the top row to the bottom row of the picture.
void TGraph_2CH::DrawHorizontalGrid(Canvas& canvas) const {
    canvas.SetPen(kGridColour);
    for (int i = 0; i <= kGridSteps; ++i) {
        const int y = ((bmpHeight - 1) * i) / kGridSteps;
        canvas.MoveTo(0, y);
        canvas.LineTo(bmpWidth - 1, y);
    }
}

void TGraph_2CH::DrawVerticalGrid(Canvas& canvas) const {
    canvas.SetPen(kGridColour);
    for (int i = 0; i <= kGridSteps; ++i) {
        const int x = ((bmpWidth - 1) * i) / kGridSteps;
        canvas.MoveTo(x, 0);
        canvas.LineTo(x, bmpHeight - 1);
    }
}

RowBand TGraph_2CH::RestoreGrid() {
    const RowBand rows = traceRows;
    const auto rowBytes = static_cast<std::size_t>(bitmap.bytesPerLine());
    uchar* const to = bitmap.bits();
    const uchar* const from = grid.constBits();
    for (int y = rows.top; y < rows.bottom; ++y) {
        const auto offset = static_cast<std::size_t>(y) * rowBytes;
        std::memcpy(to + offset, from + offset, rowBytes);
    }
    traceRows = {};
    return rows;
}

TGraph_2CH::YLabelTexts TGraph_2CH::EmptyYLabelTexts(bool fVoltMode) const {
    YLabelTexts texts;
    for (int i = 0; i < kYLabelCount; ++i) {
        texts[i] = EmptyYLabelText(fVoltMode, i);
    }
    return texts;
}

TGraph_2CH::YLabelTexts TGraph_2CH::ScaleYLabelTexts(bool fVoltMode) const {
    YLabelTexts texts;
    for (int i = 0; i < kYLabelCount; ++i) {
        texts[i] = YLabelText(fVoltMode, i);
    }
    return texts;
}

bool TGraph_2CH::AllYLabelTexts(bool fVoltMode, YLabelTexts& texts) {
    if (ch0->Count == 0 && ch1->Count == 0) {
        return false;
    }
    if (!fVoltMode) {
        ComputeCodeScale();
    }
    texts = ScaleYLabelTexts(fVoltMode);
    return true;
}

// Each label's middle lies level with its grid line (the labels use H where the grid uses
// H - 1). Code labels start at a fixed place, unless a text too wide for that place would
// paint over the frame: it then ends one background column short of it. Volt labels end
// 3 pixels left of the box.
void TGraph_2CH::SetYLabels(const YLabelTexts& texts, bool fVoltMode, int codeOffset) const {
    if (yLabels == nullptr || paintBox == nullptr) {
        return;
    }
    const QRect box = paintBox->geometry();
    for (int i = 0; i < kYLabelCount; ++i) {
        QLabel* label = (*yLabels)[i];
        if (label == nullptr) {
            continue;
        }
        label->setText(texts[i]);
        label->adjustSize();
        const int top = box.top() + 1 + (bmpHeight * i) / kGridSteps - label->height() / 2;
        const int left = fVoltMode ? box.left() - kVoltLabelGap - label->width()
                                   : std::min(box.left() - codeOffset,
                                              box.left() - kFrameClearance - label->width());
        label->move(left, top);
    }
}

void TGraph_2CH::SetXLabels(const XLabelTexts& texts) const {
    if (xLabels == nullptr || paintBox == nullptr) {
        return;
    }
    const QRect box = paintBox->geometry();
    const int top = box.top() + bmpHeight + kXLabelGap;
    for (int i = 0; i < 2; ++i) {
        QLabel* label = (*xLabels)[i];
        if (label == nullptr) {
            continue;
        }
        label->setText(texts[i]);
        label->adjustSize();
        label->move(i == 0 ? box.left() : box.left() + bmpWidth - label->width(), top);
    }
}

// Every pair of neighbouring samples gets its own segment, also where many share a column.
// The points come a batch at a time; each batch begins with the last point of the one before.
void TGraph_2CH::DrawTraces(Canvas& canvas, bool fVoltMode) const {
    if (!fVoltMode && ch0->Count == 0 && ch1->Count == 0) {
        return;
    }
    const float xStep = AllXStep(bmpWidth);
    const std::pair<const ChannelSeries*, QRgb> channels[] = {{ch0, kCh0Colour}, {ch1, kCh1Colour}};
    TracePoints points;
    for (const auto& [series, colour] : channels) {
        const int count = std::min(series->Count, kSeriesCapacity);
        if (count < kMinTraceSamples) {
            continue;
        }
        canvas.SetPen(colour);
        for (int start = 0; start < count - 1; start += kTraceBatch - 1) {
            const int n = std::min(kTraceBatch, count - start);
            MapSamples(*series, start, n, 0, xStep, bmpHeight, fVoltMode, points);
            canvas.MoveTo(points.x[0], points.y[0]);
            for (int j = 1; j < n; ++j) {
                canvas.LineTo(points.x[j], points.y[j]);
            }
        }
    }
}

// The two channels' segments alternate along the axis, CH1 drawn after CH0 each time.
void TGraph_2CH::DrawWindowTraces(Canvas& canvas, bool fVoltMode, int first, int last) const {
    const float xStep = WindowXStep(bmpWidth, first, last);
    const bool fCh0 = settings->CHSel == 0 || settings->CHSel == 2;
    const bool fCh1 = settings->CHSel == 1 || settings->CHSel == 2;
    TracePoints red;
    TracePoints blue;
    for (int start = first; start < last; start += kTraceBatch - 1) {
        const int n = std::min(kTraceBatch, last - start + 1);
        if (fCh0) {
            MapSamples(*ch0, start, n, first, xStep, bmpHeight, fVoltMode, red);
        }
        if (fCh1) {
            MapSamples(*ch1, start, n, first, xStep, bmpHeight, fVoltMode, blue);
        }
        for (int j = 0; j + 1 < n; ++j) {
            if (fCh0) {
                canvas.SetPen(kCh0Colour);
                canvas.MoveTo(red.x[j], red.y[j]);
                canvas.LineTo(red.x[j + 1], red.y[j + 1]);
            }
            if (fCh1) {
                canvas.SetPen(kCh1Colour);
                canvas.MoveTo(blue.x[j], blue.y[j]);
                canvas.LineTo(blue.x[j + 1], blue.y[j + 1]);
            }
        }
    }
}

void TGraph_2CH::CopyToScreen(RowBand rows) const {
    if (paintBox != nullptr && !rows.Empty()) {
        paintBox->update(QRect(dstRect.left(), dstRect.top() + rows.top, dstRect.width(),
                               rows.bottom - rows.top));
    }
}

void TGraph_2CH::PaintToScreen(QPainter& painter) const {
    painter.drawImage(dstRect.topLeft(), bitmap, srcRect);
}

void TGraph_2CH::DrawEmpty(bool fVoltMode) {
    const RowBand restored = RestoreGrid();
    SetYLabels(EmptyYLabelTexts(fVoltMode), fVoltMode, kCodeLabelOffset);
    SetXLabels(EmptyXLabelTexts());
    CopyToScreen(restored);
}

void TGraph_2CH::DrawAll(bool fVoltMode) {
    ComputeScales();
    YLabelTexts texts;
    if (AllYLabelTexts(fVoltMode, texts)) {
        SetYLabels(texts, fVoltMode, kCodeLabelOffset);
    }
    const RowBand restored = RestoreGrid();
    SetXLabels(AllXLabelTexts());
    // The window stays responsive while a large drawing is under way; a repaint here shows
    // the grid without traces, the finished picture follows.
    QApplication::processEvents();
    Canvas canvas(bitmap);
    DrawTraces(canvas, fVoltMode);
    // A drawing made while the events were handled left its traces too.
    traceRows = traceRows.United(canvas.Painted());
    CopyToScreen(restored.United(traceRows));
}

void TGraph_2CH::DrawWindow(bool fVoltMode, int first, int last) {
    const RowBand restored = RestoreGrid();
    ComputeWindowScales(first, last);
    SetYLabels(ScaleYLabelTexts(fVoltMode), fVoltMode, kWindowCodeLabelOffset);
    SetXLabels(WindowXLabelTexts(first, last));
    Canvas canvas(bitmap);
    DrawWindowTraces(canvas, fVoltMode, first, last);
    traceRows = canvas.Painted();
    CopyToScreen(restored.United(traceRows));
}

void TGraph_2CH::DrawAxes(bool fVoltMode) {
    const RowBand restored = RestoreGrid();
    YLabelTexts texts;
    if (AllYLabelTexts(fVoltMode, texts)) {
        SetYLabels(texts, fVoltMode, kCodeLabelOffset);
    }
    SetXLabels(AllXLabelTexts());
    CopyToScreen(restored);
}
