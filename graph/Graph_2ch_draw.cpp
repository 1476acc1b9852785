// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/Graph_2ch.h"

#include <algorithm>
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

int TGraph_2CH::SampleY(const ChannelSeries& series, int index, bool fVoltMode) const {
    return fVoltMode ? MicrovoltsY(series.Microvolts[index], bmpHeight)
                     : CodeY(series.Codes[index], bmpHeight);
}

// Every pair of neighbouring samples gets its own segment, also where many share a column.
void TGraph_2CH::DrawTraces(Canvas& canvas, bool fVoltMode) const {
    if (!fVoltMode && ch0->Count == 0 && ch1->Count == 0) {
        return;
    }
    const float xStep = AllXStep(bmpWidth);
    const std::pair<const ChannelSeries*, QRgb> channels[] = {{ch0, kCh0Colour}, {ch1, kCh1Colour}};
    for (const auto& [series, colour] : channels) {
        const int count = std::min(series->Count, kSeriesCapacity);
        if (count < kMinTraceSamples) {
            continue;
        }
        canvas.SetPen(colour);
        canvas.MoveTo(SampleX(0, 0, xStep), SampleY(*series, 0, fVoltMode));
        for (int i = 1; i < count; ++i) {
            canvas.LineTo(SampleX(i, 0, xStep), SampleY(*series, i, fVoltMode));
        }
    }
}

// The two channels' segments alternate along the axis, CH1 drawn after CH0 each time.
void TGraph_2CH::DrawWindowTraces(Canvas& canvas, bool fVoltMode, int first, int last) const {
    const float xStep = WindowXStep(bmpWidth, first, last);
    const bool fCh0 = settings->CHSel == 0 || settings->CHSel == 2;
    const bool fCh1 = settings->CHSel == 1 || settings->CHSel == 2;
    for (int i = first; i < last; ++i) {
        const int x0 = SampleX(i, first, xStep);
        const int x1 = SampleX(i + 1, first, xStep);
        if (fCh0) {
            canvas.SetPen(kCh0Colour);
            canvas.MoveTo(x0, SampleY(*ch0, i, fVoltMode));
            canvas.LineTo(x1, SampleY(*ch0, i + 1, fVoltMode));
        }
        if (fCh1) {
            canvas.SetPen(kCh1Colour);
            canvas.MoveTo(x0, SampleY(*ch1, i, fVoltMode));
            canvas.LineTo(x1, SampleY(*ch1, i + 1, fVoltMode));
        }
    }
}

void TGraph_2CH::CopyToScreen() const {
    if (paintBox != nullptr) {
        paintBox->update(dstRect);
    }
}

void TGraph_2CH::PaintToScreen(QPainter& painter) const {
    painter.drawImage(dstRect.topLeft(), bitmap, srcRect);
}

void TGraph_2CH::DrawEmpty(bool fVoltMode) {
    Canvas canvas(bitmap);
    ClearBitmap(canvas);
    SetYLabels(EmptyYLabelTexts(fVoltMode), fVoltMode, kCodeLabelOffset);
    DrawHorizontalGrid(canvas);
    SetXLabels(EmptyXLabelTexts());
    DrawVerticalGrid(canvas);
    CopyToScreen();
}

void TGraph_2CH::DrawAll(bool fVoltMode) {
    ComputeScales();
    YLabelTexts texts;
    if (AllYLabelTexts(fVoltMode, texts)) {
        SetYLabels(texts, fVoltMode, kCodeLabelOffset);
    }
    {
        Canvas canvas(bitmap);
        ClearBitmap(canvas);
        DrawHorizontalGrid(canvas);
        SetXLabels(AllXLabelTexts());
        DrawVerticalGrid(canvas);
    }
    // The window stays responsive while a large drawing is under way; a repaint here shows
    // the grid without traces, the finished picture follows.
    QApplication::processEvents();
    Canvas canvas(bitmap);
    DrawTraces(canvas, fVoltMode);
    CopyToScreen();
}

void TGraph_2CH::DrawWindow(bool fVoltMode, int first, int last) {
    Canvas canvas(bitmap);
    ClearBitmap(canvas);
    ComputeWindowScales(first, last);
    SetYLabels(ScaleYLabelTexts(fVoltMode), fVoltMode, kWindowCodeLabelOffset);
    DrawHorizontalGrid(canvas);
    SetXLabels(WindowXLabelTexts(first, last));
    DrawVerticalGrid(canvas);
    DrawWindowTraces(canvas, fVoltMode, first, last);
    CopyToScreen();
}

void TGraph_2CH::DrawAxes(bool fVoltMode) {
    Canvas canvas(bitmap);
    ClearBitmap(canvas);
    YLabelTexts texts;
    if (AllYLabelTexts(fVoltMode, texts)) {
        SetYLabels(texts, fVoltMode, kCodeLabelOffset);
    }
    DrawHorizontalGrid(canvas);
    SetXLabels(AllXLabelTexts());
    DrawVerticalGrid(canvas);
    CopyToScreen();
}
