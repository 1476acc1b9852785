// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>

#include "common/ChannelSeries.h"
#include "common/MeasureSettings.h"
#include "graph/Canvas.h"

class QLabel;
class QPainter;
class QWidget;

// The window's two-channel graph: microvolt conversion, extremes, the automatic code and
// volt scales, the axis label texts and the pixel mapping (the model), and the drawing of
// grid and traces into an off-screen picture one pixel smaller than the paint box on each
// side, with the axis labels placed beside it. It reads the window's series and settings
// through pointers and never writes them. Every numeric step is a small function that
// works without a window; the paint box and the labels may be absent.
// The picture (RGB32; the box's frame is never painted): white, eleven grey grid rows and
// columns, the CH0 trace red and the CH1 trace blue over them, every pair of neighbouring
// samples joined by its segment. The white and the grid, the same in every drawing at one
// size, are kept in a picture of their own: a drawing puts them back only on the rows the
// last traces painted, draws its traces, and has only the rows that changed shown again. The 11 Y
// labels and 2 X labels are captioned for the empty graph, for all samples or for a window of them
// (a run draws 100 at a time); their numbers are fixed-point with a "." whatever the locale, a
// negative value that rounds to zero without a sign. A code label too wide for its column moves
// left, so a background column always separates it from the frame.
class TGraph_2CH {
public:
    static constexpr int kYLabelCount = 11;  // index 0 at the top of the axis
    using YLabelArray = std::array<QLabel*, kYLabelCount>;
    using XLabelPair = std::array<QLabel*, 2>;  // left end, right end
    using XLabelTexts = std::array<QString, 2>;

    // The volt unit chosen for a scale, and the scale in that unit.
    struct VoltUnit {
        QString unit;  // "uV", "mV" or "V"
        double factor;
        float scaledSpan;
        float scaledBase;
    };

    TGraph_2CH(QWidget* paintBoxControl, ChannelSeries* ch0Series, YLabelArray* yLabelArray,
               XLabelPair* xLabelPair, MeasureSettings* measureSettings, ChannelSeries* ch1Series);

    // Drawing. The volt mode flag is the check mark of the window's unit menu item.
    void UpdateSize();
    void DrawEmpty(bool fVoltMode);
    void DrawAll(bool fVoltMode);
    void DrawWindow(bool fVoltMode, int first, int last);
    void DrawAxes(bool fVoltMode);
    // Shows the picture, unchanged, on the paint box (from its paint event).
    void PaintToScreen(QPainter& painter) const;
    const QImage& Bitmap() const { return bitmap; }
    QRect DestinationRect() const { return dstRect; }

    // Readers the window uses for conversion and the statistics read-out.
    double CodeToMicrovolts(std::int32_t code) const;
    std::int32_t MaxCodeCH0();
    std::int32_t MaxCodeCH1();
    std::int32_t MinCodeCH0();
    std::int32_t MinCodeCH1();
    float MaxMicrovoltsCH0();
    float MaxMicrovoltsCH1();
    float MinMicrovoltsCH0();
    float MinMicrovoltsCH1();

    // Extremes and scales.
    void ScanAll();
    void ScanWindow(int first, int last);
    void LimitsToMicrovolts();
    std::int32_t CodeSpanFor() const;
    std::int32_t CodeBaseFor(std::int32_t span) const;
    float VoltSpanFor() const;
    float VoltBaseFor(float span) const;
    void ComputeScales();
    void ComputeWindowScales(int first, int last);
    void ComputeCodeScale();
    VoltUnit ChooseVoltUnit() const;

    // Label texts. Y index 0 is the top label, 10 the bottom one.
    QString YLabelText(bool fVoltMode, int index) const;
    QString EmptyYLabelText(bool fVoltMode, int index) const;
    static XLabelTexts EmptyXLabelTexts();
    XLabelTexts AllXLabelTexts() const;
    static XLabelTexts WindowXLabelTexts(int first, int last);

    // Pixel mapping into a bitmap of width W and height H.
    std::int32_t AxisCount() const;
    float AllXStep(int width) const;
    static float WindowXStep(int width, int first, int last);
    static int SampleX(int index, int first, float xStep);
    int CodeY(std::int32_t code, int height) const;
    int MicrovoltsY(float microvolts, int height) const;

    // Points of a trace, a batch at a time.
    static constexpr int kTraceBatch = 256;
    struct TracePoints {
        std::array<int, kTraceBatch> x;
        std::array<int, kTraceBatch> y;
    };
    // Samples first .. first + count - 1 (count at most kTraceBatch) placed as SampleX (with
    // `axisFirst`) and the Y mapping of the mode place them, in one pass over the samples.
    void MapSamples(const ChannelSeries& series, int first, int count, int axisFirst, float xStep,
                    int height, bool fVoltMode, TracePoints& points) const;

    // The steps on explicit values, for the members above and for tests.
    static std::int32_t CodeSpanOf(std::int64_t difference);
    static std::int32_t CodeBaseOf(std::int32_t maximum, std::int32_t minimum, std::int32_t span);
    static float VoltSpanOf(float difference);
    static float VoltBaseOf(float maximumUv, float minimumUv, float span);
    static VoltUnit VoltUnitOf(float span, float base);
    static int VoltLabelDecimals(float scaledSpan);
    static QString VoltLabelText(float value, float scaledSpan);
    static QString CodeLabelText(std::int32_t span, std::int32_t base, int index);
    static QString VoltYLabelText(const VoltUnit& unit, int index);

private:
    using YLabelTexts = std::array<QString, kYLabelCount>;
    static constexpr int kCodeLabelOffset = 50;        // code labels of all samples
    static constexpr int kWindowCodeLabelOffset = 67;  // code labels of a window
    static constexpr int kVoltLabelGap = 3;
    static constexpr int kFrameClearance = 1;  // background columns between a label and the frame
    static constexpr int kXLabelGap = 10;

    void ClearBitmap(Canvas& canvas) const;
    void DrawHorizontalGrid(Canvas& canvas) const;
    void DrawVerticalGrid(Canvas& canvas) const;
    // The kept picture back on the rows the traces painted; the rows it changed.
    RowBand RestoreGrid();
    YLabelTexts EmptyYLabelTexts(bool fVoltMode) const;
    YLabelTexts ScaleYLabelTexts(bool fVoltMode) const;
    // Texts of all samples: none when both series are empty, code scale refreshed first.
    bool AllYLabelTexts(bool fVoltMode, YLabelTexts& texts);
    void SetYLabels(const YLabelTexts& texts, bool fVoltMode, int codeOffset) const;
    void SetXLabels(const XLabelTexts& texts) const;
    void DrawTraces(Canvas& canvas, bool fVoltMode) const;
    void DrawWindowTraces(Canvas& canvas, bool fVoltMode, int first, int last) const;
    // Shows the rows of the picture that changed.
    void CopyToScreen(RowBand rows) const;

    // One channel's extremes over samples first..last into the given fields.
    static void ScanCodes(const ChannelSeries& series, int first, int last, std::int32_t& maximum,
                          std::int32_t& minimum);
    std::int32_t MaxCodeOf(const ChannelSeries& series, std::int32_t& maximum);
    std::int32_t MinCodeOf(const ChannelSeries& series, std::int32_t& minimum);
    float MicrovoltsOf(std::int32_t code, float& field) const;
    void MergeCh1Extremes();
    void ComputeVoltScale();
    void ComputeCodeSpanAndBase();

    ChannelSeries* ch0;
    ChannelSeries* ch1;
    MeasureSettings* settings;
    QWidget* paintBox;
    QImage bitmap;
    QImage grid;        // white and the grid at the bitmap's size
    RowBand traceRows;  // rows where the bitmap may differ from `grid`
    QRect dstRect;
    QRect srcRect;
    int boxWidth = 0;
    int boxHeight = 0;
    int bmpWidth = 0;
    int bmpHeight = 0;
    YLabelArray* yLabels;
    XLabelPair* xLabels;
    float maxAllUv = 0.0F;
    float minAllUv = 0.0F;
    float maxCh0Uv = 0.0F;
    float minCh0Uv = 0.0F;
    float maxCh1Uv = 0.0F;
    float minCh1Uv = 0.0F;
    // Non-zero spans from the start, so the pixel mapping never divides by zero.
    float voltSpan = 0.2F;
    float voltBase = 0.0F;
    std::int32_t maxAll = kMinScaleCode;
    std::int32_t minAll = kFullScaleCode;
    std::int32_t maxCh0 = kMinScaleCode;
    std::int32_t minCh0 = kFullScaleCode;
    std::int32_t maxCh1 = kMinScaleCode;
    std::int32_t minCh1 = kFullScaleCode;
    std::int32_t codeSpan = 10;
    std::int32_t codeBase = kMidScaleCode;
};
