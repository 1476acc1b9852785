// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/Graph_2ch.h"

// The graph's model: extremes, scales, label texts and the mapping of samples to pixels.

#include <algorithm>
#include <cmath>

#include "common/Codes.h"
#include "common/FixedText.h"

namespace {

// Code spans follow 1-2-5 steps; each limit is 80 % of its span so that the samples fill at
// most 80 % of the height. Above the last limit the span is 20000000.
struct CodeSpanStep {
    std::int64_t limit;
    std::int32_t span;
};
constexpr CodeSpanStep kCodeSpanSteps[] = {
    {8, 10},           {16, 20},           {40, 50},           {80, 100},          {160, 200},
    {400, 500},        {800, 1000},        {1600, 2000},       {4000, 5000},       {8000, 10000},
    {16000, 20000},    {40000, 50000},     {80000, 100000},    {160000, 200000},   {400000, 500000},
    {800000, 1000000}, {1600000, 2000000}, {4000000, 5000000}, {8000000, 10000000}};
constexpr std::int32_t kLargestCodeSpan = 20000000;

// Microvolt spans, the same 1-2-5 steps with limits at 80 %. The fractional limits are
// compared as doubles; the whole-number ones are exact in float32, so comparing them as
// doubles gives the float32 result. The last span is 6000000 uV, the full input range.
struct VoltSpanStep {
    double limit;
    float span;
};
constexpr VoltSpanStep kVoltSpanSteps[] = {{0.16, 0.2F},
                                           {0.4, 0.5F},
                                           {0.8, 1.0F},
                                           {1.6, 2.0F},
                                           {4.0, 5.0F},
                                           {8.0, 10.0F},
                                           {16.0, 20.0F},
                                           {40.0, 50.0F},
                                           {80.0, 100.0F},
                                           {160.0, 200.0F},
                                           {400.0, 500.0F},
                                           {800.0, 1000.0F},
                                           {1600.0, 2000.0F},
                                           {4000.0, 5000.0F},
                                           {8000.0, 10000.0F},
                                           {16000.0, 20000.0F},
                                           {40000.0, 50000.0F},
                                           {80000.0, 100000.0F},
                                           {160000.0, 200000.0F},
                                           {400000.0, 500000.0F},
                                           {800000.0, 1000000.0F},
                                           {1600000.0, 2000000.0F},
                                           {4000000.0, 5000000.0F}};
constexpr float kLargestVoltSpan = 6000000.0F;

// Label decimals by the scaled span of the whole axis. The limits are compared as float32 so
// that a span that is nominally 0.001, 0.01 or 0.1 in its unit falls on the "up to" side.
struct LabelFormatStep {
    float limit;
    int decimals;
};
constexpr LabelFormatStep kLabelFormatSteps[] = {
    {0.001F, 5}, {0.01F, 4}, {0.1F, 3}, {1.0F, 2}, {10.0F, 1}};

// The empty graph's volt column is centred on mid-scale: its top label is 50 codes above.
constexpr std::int32_t kEmptyVoltTopCode = kMidScaleCode + 50;
constexpr std::int32_t kEmptyCodeStep = 10;
constexpr int kMinimumAxisCount = 100;
constexpr int kEmptyAxisCount = 1000;

// Pixel rows and columns far outside any bitmap; the drawing clips anyway.
constexpr double kPixelLimit = 1.0e6;

// The conversion to int truncates toward zero by itself.
int TruncToPixel(double position) {
    return static_cast<int>(std::clamp(position, -kPixelLimit, kPixelLimit));
}

int XPixel(int index, int first, float xStep) {
    return TruncToPixel((static_cast<double>(index) - first) * static_cast<double>(xStep)) + 1;
}

// The difference of two codes is exact in a double.
int CodePixel(std::int32_t code, std::int32_t base, std::int32_t span, int height) {
    const double offset = static_cast<double>(code) - static_cast<double>(base);
    return TruncToPixel(height * (1.0 - offset / span));
}

int MicrovoltPixel(float microvolts, float base, float span, int height) {
    const double offset = static_cast<double>(microvolts) - static_cast<double>(base);
    return TruncToPixel(height * (1.0 - offset / static_cast<double>(span)));
}

struct CodeRange {
    std::int32_t maximum;
    std::int32_t minimum;
};

// Largest and smallest of codes first..last (kept inside the arrays), from the start values
// 0 and full scale, in one pass; for integers the strict comparisons of the scan give what
// max and min give.
CodeRange ScanRange(const ChannelSeries& series, int first, int last) {
    CodeRange range{kMinScaleCode, kFullScaleCode};
    const int end = std::min(last, kSeriesCapacity - 1);
    for (int i = std::max(first, 0); i <= end; ++i) {
        range.maximum = std::max(range.maximum, series.Codes[i]);
        range.minimum = std::min(range.minimum, series.Codes[i]);
    }
    return range;
}

QString Decimal(std::int64_t value) {
    return QString::number(value);
}

}  // namespace

TGraph_2CH::TGraph_2CH(QWidget* paintBoxControl, ChannelSeries* ch0Series, YLabelArray* yLabelArray,
                       XLabelPair* xLabelPair, MeasureSettings* measureSettings,
                       ChannelSeries* ch1Series)
    : ch0(ch0Series),
      ch1(ch1Series),
      settings(measureSettings),
      paintBox(paintBoxControl),
      yLabels(yLabelArray),
      xLabels(xLabelPair) {
    UpdateSize();
}

double TGraph_2CH::CodeToMicrovolts(std::int32_t code) const {
    return ::CodeToMicrovolts(code, settings->GainFactor);
}

// ---- per-channel extremes ----

std::int32_t TGraph_2CH::MaxCodeOf(const ChannelSeries& series, std::int32_t& maximum) {
    if (series.Count == 0) {
        return 0;
    }
    maximum = ScanRange(series, 0, series.Count - 1).maximum;
    return maximum;
}

std::int32_t TGraph_2CH::MinCodeOf(const ChannelSeries& series, std::int32_t& minimum) {
    if (series.Count == 0) {
        return 0;
    }
    minimum = ScanRange(series, 0, series.Count - 1).minimum;
    return minimum;
}

float TGraph_2CH::MicrovoltsOf(std::int32_t code, float& field) const {
    field = static_cast<float>(CodeToMicrovolts(code));
    return field;
}

std::int32_t TGraph_2CH::MaxCodeCH0() {
    return MaxCodeOf(*ch0, maxCh0);
}
std::int32_t TGraph_2CH::MaxCodeCH1() {
    return MaxCodeOf(*ch1, maxCh1);
}
std::int32_t TGraph_2CH::MinCodeCH0() {
    return MinCodeOf(*ch0, minCh0);
}
std::int32_t TGraph_2CH::MinCodeCH1() {
    return MinCodeOf(*ch1, minCh1);
}

float TGraph_2CH::MaxMicrovoltsCH0() {
    MaxCodeCH0();
    return MicrovoltsOf(maxCh0, maxCh0Uv);
}

float TGraph_2CH::MaxMicrovoltsCH1() {
    MaxCodeCH1();
    return MicrovoltsOf(maxCh1, maxCh1Uv);
}

float TGraph_2CH::MinMicrovoltsCH0() {
    MinCodeCH0();
    return MicrovoltsOf(minCh0, minCh0Uv);
}

float TGraph_2CH::MinMicrovoltsCH1() {
    MinCodeCH1();
    return MicrovoltsOf(minCh1, minCh1Uv);
}

// ---- overall extremes ----

void TGraph_2CH::ScanCodes(const ChannelSeries& series, int first, int last, std::int32_t& maximum,
                           std::int32_t& minimum) {
    const CodeRange range = ScanRange(series, first, last);
    maximum = range.maximum;
    minimum = range.minimum;
}

void TGraph_2CH::MergeCh1Extremes() {
    maxAll = std::max(maxAll, maxCh1);
    minAll = std::min(minAll, minCh1);
}

// The counts decide which channels take part, not the channel setting.
void TGraph_2CH::ScanAll() {
    maxAll = kMinScaleCode;
    minAll = kFullScaleCode;
    if (ch0->Count > 0) {
        ScanCodes(*ch0, 0, ch0->Count - 1, maxCh0, minCh0);
        maxAll = maxCh0;
        minAll = minCh0;
    }
    if (ch1->Count > 0) {
        ScanCodes(*ch1, 0, ch1->Count - 1, maxCh1, minCh1);
        MergeCh1Extremes();
    }
}

// During a run the counts are still 0, so the channel setting decides.
void TGraph_2CH::ScanWindow(int first, int last) {
    const bool fCh0 = settings->CHSel == 0 || settings->CHSel == 2;
    const bool fCh1 = settings->CHSel == 1 || settings->CHSel == 2;
    if (fCh0) {
        ScanCodes(*ch0, first, last, maxCh0, minCh0);
        maxAll = maxCh0;
        minAll = minCh0;
    }
    if (fCh1) {
        ScanCodes(*ch1, first, last, maxCh1, minCh1);
        if (fCh0) {
            MergeCh1Extremes();
        } else {
            maxAll = maxCh1;
            minAll = minCh1;
        }
    }
}

void TGraph_2CH::LimitsToMicrovolts() {
    maxAllUv = static_cast<float>(CodeToMicrovolts(maxAll));
    minAllUv = static_cast<float>(CodeToMicrovolts(minAll));
}

// ---- scales ----

std::int32_t TGraph_2CH::CodeSpanOf(std::int64_t difference) {
    for (const auto& step : kCodeSpanSteps) {
        if (difference <= step.limit) {
            return step.span;
        }
    }
    return kLargestCodeSpan;
}

// The centre less half the span, truncated toward zero to a multiple of half a grid step.
std::int32_t TGraph_2CH::CodeBaseOf(std::int32_t maximum, std::int32_t minimum, std::int32_t span) {
    const std::int64_t base = (std::int64_t{maximum} + minimum) / 2 - span / 2;
    if (span <= 10) {
        return static_cast<std::int32_t>(base);
    }
    const std::int32_t halfStep = span / 20;
    return static_cast<std::int32_t>((base / halfStep) * halfStep);
}

float TGraph_2CH::VoltSpanOf(float difference) {
    for (const auto& step : kVoltSpanSteps) {
        if (static_cast<double>(difference) <= step.limit) {
            return step.span;
        }
    }
    return kLargestVoltSpan;
}

// The centre less half the span, rounded to the nearest whole grid step, halves away from
// zero.
float TGraph_2CH::VoltBaseOf(float maximumUv, float minimumUv, float span) {
    const auto step = static_cast<float>(static_cast<double>(span) * 0.1);
    const auto start =
        static_cast<float>((static_cast<double>(maximumUv) + static_cast<double>(minimumUv)) * 0.5 -
                           static_cast<double>(span) * 0.5);
    const double steps = static_cast<double>(start) / static_cast<double>(step);
    const double rounded = start >= 0.0F ? std::trunc(steps + 0.5) : -std::trunc(-steps + 0.5);
    return static_cast<float>(rounded * static_cast<double>(step));
}

std::int32_t TGraph_2CH::CodeSpanFor() const {
    return CodeSpanOf(std::int64_t{maxAll} - minAll);
}

std::int32_t TGraph_2CH::CodeBaseFor(std::int32_t span) const {
    return CodeBaseOf(maxAll, minAll, span);
}

float TGraph_2CH::VoltSpanFor() const {
    return VoltSpanOf(maxAllUv - minAllUv);
}

float TGraph_2CH::VoltBaseFor(float span) const {
    return VoltBaseOf(maxAllUv, minAllUv, span);
}

void TGraph_2CH::ComputeCodeSpanAndBase() {
    codeSpan = CodeSpanFor();
    codeBase = CodeBaseFor(codeSpan);
}

void TGraph_2CH::ComputeVoltScale() {
    voltSpan = VoltSpanFor();
    voltBase = VoltBaseFor(voltSpan);
}

void TGraph_2CH::ComputeScales() {
    ScanAll();
    LimitsToMicrovolts();
    ComputeCodeSpanAndBase();
    ComputeVoltScale();
}

void TGraph_2CH::ComputeWindowScales(int first, int last) {
    ScanWindow(first, last);
    LimitsToMicrovolts();
    ComputeCodeSpanAndBase();
    ComputeVoltScale();
}

// Leaves the volt scale as the last full computation set it.
void TGraph_2CH::ComputeCodeScale() {
    ScanAll();
    LimitsToMicrovolts();
    ComputeCodeSpanAndBase();
}

TGraph_2CH::VoltUnit TGraph_2CH::VoltUnitOf(float span, float base) {
    const double largest = std::max(std::fabs(std::trunc(static_cast<double>(span))),
                                    std::fabs(std::trunc(static_cast<double>(base))));
    VoltUnit unit{QStringLiteral("uV"), 1.0, span, base};
    if (largest > 200000.0) {
        unit.unit = QStringLiteral("V");
        unit.factor = 1e-6;
    } else if (largest > 200.0) {
        unit.unit = QStringLiteral("mV");
        unit.factor = 0.001;
    }
    unit.scaledSpan = static_cast<float>(static_cast<double>(span) * unit.factor);
    unit.scaledBase = static_cast<float>(static_cast<double>(base) * unit.factor);
    return unit;
}

TGraph_2CH::VoltUnit TGraph_2CH::ChooseVoltUnit() const {
    return VoltUnitOf(voltSpan, voltBase);
}

// ---- label texts ----

int TGraph_2CH::VoltLabelDecimals(float scaledSpan) {
    for (const auto& step : kLabelFormatSteps) {
        if (scaledSpan <= step.limit) {
            return step.decimals;
        }
    }
    return 0;
}

QString TGraph_2CH::VoltLabelText(float value, float scaledSpan) {
    return QString::fromStdString(FixedText(value, VoltLabelDecimals(scaledSpan)));
}

QString TGraph_2CH::CodeLabelText(std::int32_t span, std::int32_t base, int index) {
    return Decimal(std::int64_t{base} + span - (std::int64_t{index} * span) / 10);
}

// Only the top and bottom labels carry the unit, directly after the number.
QString TGraph_2CH::VoltYLabelText(const VoltUnit& unit, int index) {
    const auto span = static_cast<double>(unit.scaledSpan);
    const auto value =
        static_cast<float>((static_cast<double>(unit.scaledBase) + span) - index * span * 0.1);
    QString text = VoltLabelText(value, unit.scaledSpan);
    if (index == 0 || index == kYLabelCount - 1) {
        text += unit.unit;
    }
    return text;
}

QString TGraph_2CH::YLabelText(bool fVoltMode, int index) const {
    return fVoltMode ? VoltYLabelText(ChooseVoltUnit(), index)
                     : CodeLabelText(codeSpan, codeBase, index);
}

// The empty code column runs down from mid-scale; the empty volt column is centred on it.
QString TGraph_2CH::EmptyYLabelText(bool fVoltMode, int index) const {
    if (!fVoltMode) {
        return Decimal(kMidScaleCode - kEmptyCodeStep * index);
    }
    const auto microvolts =
        static_cast<float>(CodeToMicrovolts(kEmptyVoltTopCode - kEmptyCodeStep * index));
    return QString::fromStdString(FixedText(microvolts, 2));
}

TGraph_2CH::XLabelTexts TGraph_2CH::EmptyXLabelTexts() {
    return {Decimal(1), Decimal(kEmptyAxisCount)};
}

TGraph_2CH::XLabelTexts TGraph_2CH::AllXLabelTexts() const {
    return {Decimal(1), Decimal(AxisCount())};
}

// Sample numbers count from 1.
TGraph_2CH::XLabelTexts TGraph_2CH::WindowXLabelTexts(int first, int last) {
    return {Decimal(std::int64_t{first} + 1), Decimal(std::int64_t{last} + 1)};
}

// ---- pixel mapping ----

// The axis always spans at least 100 samples; CH1's count wins when it has samples.
std::int32_t TGraph_2CH::AxisCount() const {
    const std::int32_t count = ch1->Count != 0 ? ch1->Count : ch0->Count;
    return std::max(count, kMinimumAxisCount);
}

float TGraph_2CH::AllXStep(int width) const {
    return static_cast<float>(static_cast<double>(width - 2) / (AxisCount() - 1));
}

float TGraph_2CH::WindowXStep(int width, int first, int last) {
    return static_cast<float>(static_cast<double>(width - 2) / std::max(last - first, 1));
}

int TGraph_2CH::SampleX(int index, int first, float xStep) {
    return XPixel(index, first, xStep);
}

int TGraph_2CH::CodeY(std::int32_t code, int height) const {
    return CodePixel(code, codeBase, codeSpan, height);
}

int TGraph_2CH::MicrovoltsY(float microvolts, int height) const {
    return MicrovoltPixel(microvolts, voltBase, voltSpan, height);
}

// Separate loops for the columns and the rows, each free of calls.
void TGraph_2CH::MapSamples(const ChannelSeries& series, int first, int count, int axisFirst,
                            float xStep, int height, bool fVoltMode, TracePoints& points) const {
    for (int j = 0; j < count; ++j) {
        points.x[j] = XPixel(first + j, axisFirst, xStep);
    }
    if (fVoltMode) {
        const float* microvolts = series.Microvolts + first;
        for (int j = 0; j < count; ++j) {
            points.y[j] = MicrovoltPixel(microvolts[j], voltBase, voltSpan, height);
        }
    } else {
        const std::int32_t* codes = series.Codes + first;
        for (int j = 0; j < count; ++j) {
            points.y[j] = CodePixel(codes[j], codeBase, codeSpan, height);
        }
    }
}
