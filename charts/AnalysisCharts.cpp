// SPDX-License-Identifier: GPL-3.0-or-later
#include "charts/AnalysisCharts.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <algorithm>
#include <cmath>
#include <utility>

#include "analysis/DynamicFigureTable.h"
#include "analysis/NoiseAnalysis.h"
#include "analysis/NoiseFigureTable.h"
#include "charts/PictureCaption.h"
#include "charts/RoundTickAxis.h"
#include "charts/WindowFont.h"

namespace {

constexpr int kGaussianPoints = 400;
const QColor kBarColour(70, 130, 180);
const QColor kCurveColour(200, 0, 0);
const QColor kMarkColour(0, 150, 0);
const QColor kLogDensityColour(20, 40, 140);
const QColor kRoughColour(230, 120, 0);
const QColor kFlickerColour(150, 0, 150);
// Points averaged this often are within about ±10 % (LogNoiseSpectrum::averages).
constexpr double kSteadyAverages = 25.0;
// The level axis of an FFT chart without a spectrum.
constexpr double kEmptyFftFloor = -160.0;

QChart* NewChart(const QString& title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->setTitleFont(WindowFont(14));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setFont(WindowFont(12));
    return chart;
}

void Attach(QChart* chart, QAbstractAxis* x, QAbstractAxis* y) {
    for (QAbstractAxis* axis : {x, y}) {
        axis->setTitleFont(WindowFont(12));
        axis->setLabelsFont(WindowFont(11));
    }
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
}

RoundTickAxis* Axis(RoundTickAxis::Scale scale, const QString& title) {
    auto* axis = new RoundTickAxis(scale);
    axis->setTitleText(title);
    return axis;
}

// Whole decades around the points of a log-log chart (log10 of the values); one decade when
// there are none.
void SetDecadeRange(QValueAxis* axis, const QList<QPointF>& points, bool fX) {
    if (points.isEmpty()) {
        axis->setRange(0.0, 1.0);
        return;
    }
    double low = fX ? points.front().x() : points.front().y();
    double high = low;
    for (const QPointF& p : points) {
        low = std::min(low, fX ? p.x() : p.y());
        high = std::max(high, fX ? p.x() : p.y());
    }
    low = std::floor(low);
    high = std::ceil(high);
    axis->setRange(low, high > low ? high : low + 1.0);
}

QLogValueAxis* MinorGridAxis(const QValueAxis* shown) {
    auto* axis = new QLogValueAxis;
    axis->setBase(10.0);
    axis->setRange(std::pow(10.0, shown->min()), std::pow(10.0, shown->max()));
    axis->setMinorTickCount(8);
    axis->setLabelsVisible(false);
    axis->setLineVisible(false);
    axis->setTitleVisible(false);
    axis->setGridLineVisible(false);
    axis->setMinorGridLineVisible(true);
    return axis;
}

// Light lines at 2 .. 9 of every decade behind a log-log chart, from Qt's own log axes that show
// nothing else: a series without points spans them over the chart's decades, and a zoom moves
// them with the numbered axes, both being linear in log10 on the screen.
void AddMinorGrid(QChart* chart, const QValueAxis* x, const QValueAxis* y) {
    auto* span = new QLineSeries;
    chart->addSeries(span);
    chart->addAxis(MinorGridAxis(x), Qt::AlignBottom);
    chart->addAxis(MinorGridAxis(y), Qt::AlignLeft);
    span->attachAxis(chart->axes(Qt::Horizontal).back());
    span->attachAxis(chart->axes(Qt::Vertical).back());
    for (QLegendMarker* marker : chart->legend()->markers(span)) {
        marker->setVisible(false);
    }
}

// A figure in a legend as the table writes it.
QString FigureText(double value) {
    return QString::fromStdString(
        NoiseFigureTable::ValueText({{}, value, {}, FigureFormat::Noise}));
}

QPointF LogPoint(double x, double y) {
    return {std::log10(x), std::log10(y)};
}

QLineSeries* Line(const QString& name, const QColor& colour, Qt::PenStyle style = Qt::SolidLine,
                  double width = 2.0) {
    auto* series = new QLineSeries;
    series->setName(name);
    series->setPen(QPen(colour, width, style));
    return series;
}

QScatterSeries* Mark(const QString& name, QPointF point, const QColor& colour = kMarkColour) {
    auto* series = new QScatterSeries;
    series->setName(name);
    series->setColor(colour);
    series->setMarkerSize(11.0);
    series->append(point);
    return series;
}

QString ChannelTitle(int channel, const QString& what) {
    return QStringLiteral("CH%1 ").arg(channel) + what;
}

QChart* HistogramChart(const NoiseAnalysis& analysis, int channel) {
    const CodeHistogram& histogram = analysis.histogram;
    QChart* chart = NewChart(ChannelTitle(
        channel,
        QStringLiteral("ヒストグラム（ミッシングコード：%1）").arg(histogram.missingCodes)));
    // Bins drawn as steps over whole codes: a bin spans half a code either side of its codes.
    auto* outline = new QLineSeries;
    const double start = histogram.firstCode - 0.5;
    double highest = 0.0;
    for (std::size_t bin = 0; bin < histogram.counts.size(); ++bin) {
        const double left = start + static_cast<double>(bin) * histogram.binWidthCodes;
        const auto count = static_cast<double>(histogram.counts[bin]);
        outline->append(left, count);
        outline->append(left + histogram.binWidthCodes, count);
        highest = std::max(highest, count);
    }
    const double end =
        start + static_cast<double>(histogram.counts.size()) * histogram.binWidthCodes;
    auto* bars = new QAreaSeries(outline);
    outline->setParent(bars);  // the area series leaves its outline to its owner
    bars->setName(QStringLiteral("度数"));
    bars->setColor(kBarColour.lighter(150));
    bars->setBorderColor(kBarColour);
    chart->addSeries(bars);

    QLineSeries* gaussian = Line(QStringLiteral("ガウス分布（同じ平均値と実効値）"), kCurveColour);
    for (int i = 0; i <= kGaussianPoints; ++i) {
        const double code = start + (end - start) * i / kGaussianPoints;
        gaussian->append(code, histogram.GaussianCount(code));
        highest = std::max(highest, histogram.GaussianCount(code));
    }
    chart->addSeries(gaussian);

    // Whole codes under the centres of their one-code bars.
    RoundTickAxis* x = Axis(RoundTickAxis::Scale::Whole, QStringLiteral("AD変換値 [digit]"));
    x->setRange(start, end);
    RoundTickAxis* y = Axis(RoundTickAxis::Scale::Whole, QStringLiteral("度数"));
    y->setRange(0.0, highest * 1.05);
    Attach(chart, x, y);
    return chart;
}

// The log-frequency density, and apart the points averaged too little for ±10 %.
void AddLogDensity(QChart* chart, const LogNoiseSpectrum& spectrum) {
    if (spectrum.frequencyHz.empty()) {
        return;
    }
    QLineSeries* density = Line(QStringLiteral("対数周波数（10 点/桁）"), kLogDensityColour);
    density->setPointsVisible(true);
    auto* rough = new QScatterSeries;
    rough->setName(QStringLiteral("ばらつき ±10 % 超"));
    rough->setColor(Qt::white);
    rough->setBorderColor(kRoughColour);
    rough->setMarkerSize(9.0);
    for (std::size_t i = 0; i < spectrum.frequencyHz.size(); ++i) {
        if (spectrum.nanovoltsPerRootHz[i] > 0.0) {
            const QPointF point = LogPoint(spectrum.frequencyHz[i], spectrum.nanovoltsPerRootHz[i]);
            density->append(point);
            if (spectrum.averages[i] < kSteadyAverages) {
                rough->append(point);
            }
        }
    }
    chart->addSeries(density);
    if (rough->count() > 0) {
        chart->addSeries(rough);
    } else {
        delete rough;
    }
}

// The fitted 1/f line, straight on log-log axes (density white · √(corner / f)), from the
// lowest point to where it crosses the white level, and that corner.
void AddFlicker(QChart* chart, const LogNoiseSpectrum& spectrum) {
    if (!spectrum.flickerCornerHz || !spectrum.whiteNoiseNanovoltsPerRootHz ||
        spectrum.frequencyHz.empty()) {
        return;
    }
    const double corner = *spectrum.flickerCornerHz;
    const double white = *spectrum.whiteNoiseNanovoltsPerRootHz;
    const double lowest = spectrum.frequencyHz.front();
    QLineSeries* line = Line(QStringLiteral("1/f ノイズ（フィット）"), kFlickerColour, Qt::DotLine);
    line->append(LogPoint(lowest, white * std::sqrt(corner / lowest)));
    line->append(LogPoint(corner, white));
    chart->addSeries(line);
    chart->addSeries(Mark(QStringLiteral("1/f コーナー %1 Hz").arg(FigureText(corner)),
                          LogPoint(corner, white), kFlickerColour));
}

// The white level across the chart: the one fitted to the log-frequency density where there
// is one, against which its 1/f corner is found and which leaves tones such as mains pickup
// out; else Welch's mean level, the table's "ホワイトノイズ密度".
void AddWhiteLevel(QChart* chart, const NoiseAnalysis& analysis, const QList<QPointF>& extent) {
    const std::optional<double>& fitted = analysis.logSpectrum.whiteNoiseNanovoltsPerRootHz;
    const std::optional<double> white =
        fitted ? fitted : analysis.spectrum.whiteNoiseNanovoltsPerRootHz;
    if (!white || !(*white > 0.0) || extent.isEmpty()) {
        return;
    }
    const auto [left, right] = std::minmax_element(
        extent.begin(), extent.end(), [](QPointF a, QPointF b) { return a.x() < b.x(); });
    QLineSeries* level = Line(QStringLiteral("ホワイトノイズ %1 nV/√Hz").arg(FigureText(*white)) +
                                  (fitted ? QStringLiteral("（フィット）") : QString()),
                              kCurveColour, Qt::DashLine);
    level->append(left->x(), std::log10(*white));
    level->append(right->x(), std::log10(*white));
    chart->addSeries(level);
}

// Welch's density at its even spacing, which resolves narrow lines (mains and its harmonics)
// that a tenth of a decade averages down, beside the log-frequency density, which reaches
// 10 / T where Welch's segments stop: both are drawn.
QChart* SpectrumChart(const NoiseAnalysis& analysis, int channel) {
    const NoiseSpectrum& spectrum = analysis.spectrum;
    QChart* chart = NewChart(ChannelTitle(channel, QStringLiteral("ノイズスペクトル密度")));
    // Up to seven entries, more than a line under the chart holds.
    chart->legend()->setAlignment(Qt::AlignRight);
    const double resolution = spectrum.frequencyHz.size() > 1 ? spectrum.frequencyHz[1] : 0.0;
    QLineSeries* density = Line(QStringLiteral("Welch（分解能 %1 Hz）").arg(FigureText(resolution)),
                                kBarColour.lighter(140), Qt::SolidLine, 1.0);
    // 0 Hz and empty bins have no place on log axes.
    for (std::size_t k = 1; k < spectrum.frequencyHz.size(); ++k) {
        if (spectrum.nanovoltsPerRootHz[k] > 0.0) {
            density->append(LogPoint(spectrum.frequencyHz[k], spectrum.nanovoltsPerRootHz[k]));
        }
    }
    chart->addSeries(density);
    AddLogDensity(chart, analysis.logSpectrum);
    QList<QPointF> extent;
    for (QAbstractSeries* series : chart->series()) {
        extent += static_cast<QXYSeries*>(series)->points();
    }
    AddWhiteLevel(chart, analysis, extent);
    AddFlicker(chart, analysis.logSpectrum);
    if (spectrum.peak) {
        chart->addSeries(
            Mark(QStringLiteral("ピーク %1 Hz").arg(FigureText(spectrum.peak->frequencyHz)),
                 LogPoint(spectrum.peak->frequencyHz, spectrum.peak->nanovoltsPerRootHz)));
    }
    RoundTickAxis* x = Axis(RoundTickAxis::Scale::Log, QStringLiteral("周波数 [Hz]"));
    RoundTickAxis* y = Axis(RoundTickAxis::Scale::Log, QStringLiteral("ノイズ密度 [nV/√Hz]"));
    SetDecadeRange(x, extent, true);
    SetDecadeRange(y, extent, false);
    Attach(chart, x, y);
    AddMinorGrid(chart, x, y);
    return chart;
}

QChart* AllanChart(const NoiseAnalysis& analysis, int channel) {
    const AllanDeviation& allan = analysis.allan;
    QChart* chart = NewChart(ChannelTitle(channel, QStringLiteral("アラン偏差")));
    QLineSeries* deviation = Line(QStringLiteral("アラン偏差"), kBarColour);
    deviation->setPointsVisible(true);
    for (std::size_t i = 0; i < allan.tauSeconds.size(); ++i) {
        if (allan.deviationMicrovolts[i] > 0.0) {
            deviation->append(LogPoint(allan.tauSeconds[i], allan.deviationMicrovolts[i]));
        }
    }
    chart->addSeries(deviation);
    if (allan.MinimumReached() && allan.deviationMicrovolts[*allan.minimum] > 0.0) {
        const double tau = allan.tauSeconds[*allan.minimum];
        chart->addSeries(Mark(QStringLiteral("最小 τ = %1 s").arg(FigureText(tau)),
                              LogPoint(tau, allan.deviationMicrovolts[*allan.minimum])));
    }
    RoundTickAxis* x = Axis(RoundTickAxis::Scale::Log, QStringLiteral("τ [s]"));
    RoundTickAxis* y = Axis(RoundTickAxis::Scale::Log, QStringLiteral("アラン偏差 [uV]"));
    SetDecadeRange(x, deviation->points(), true);
    SetDecadeRange(y, deviation->points(), false);
    Attach(chart, x, y);
    AddMinorGrid(chart, x, y);
    return chart;
}

QString FftTitle(const std::optional<DynamicFigures>& dynamic, int channel) {
    if (!dynamic || !dynamic->spectrum) {
        return ChannelTitle(
            channel, QStringLiteral("FFT（%1）")
                         .arg(QString::fromStdString(DynamicFigureTable::kTooFewSamplesText)));
    }
    if (!dynamic->sine) {
        return ChannelTitle(channel, QStringLiteral("FFT（正弦波が見つかりません）"));
    }
    return ChannelTitle(
        channel, QStringLiteral("FFT（Blackman-Harris 窓、%1 データ）").arg(dynamic->samplesUsed));
}

// The fundamental and each counted harmonic at its largest bin, labelled with its order.
void AddToneMarks(QChart* chart, const DynamicSpectrum& spectrum, const SineFigures& sine) {
    bool fHarmonicNamed = false;
    for (const SpectrumMark& mark : spectrum.marks) {
        const bool fFundamental = mark.order == 1;
        QScatterSeries* series =
            Mark(fFundamental ? QStringLiteral("基本波 %1 Hz、%2 dBFS")
                                    .arg(QString::fromStdString(NoiseFigureTable::ValueText(
                                             {{}, sine.fundamentalHz, {}, FigureFormat::Level})),
                                         QString::fromStdString(NoiseFigureTable::ValueText(
                                             {{}, sine.fundamentalDbfs, {}, FigureFormat::Ratio})))
                              : QStringLiteral("高調波（数字は次数）"),
                 {mark.frequencyHz, mark.dbfs}, fFundamental ? kCurveColour : kMarkColour);
        series->setPointLabelsFormat(QString::number(mark.order));
        series->setPointLabelsFont(WindowFont(11));
        series->setPointLabelsVisible(true);
        chart->addSeries(series);
        // One legend entry stands for every harmonic.
        if (!fFundamental && std::exchange(fHarmonicNamed, true)) {
            for (QLegendMarker* marker : chart->legend()->markers(series)) {
                marker->setVisible(false);
            }
        }
    }
}

// Whole tens of dB around the points and the marks (a harmonic's bin may lie below every
// point, each the largest of its group), 0 dBFS always shown; bins without power lie at the
// floor the spectrum gives them.
void SetDecibelRange(QValueAxis* axis, const DynamicSpectrum& spectrum) {
    std::vector<double> levels;
    for (const double level : spectrum.dbfs) {
        if (level > DynamicSpectrum::kEmptyBinDbfs) {
            levels.push_back(level);
        }
    }
    for (const SpectrumMark& mark : spectrum.marks) {
        if (mark.dbfs > DynamicSpectrum::kEmptyBinDbfs) {
            levels.push_back(mark.dbfs);
        }
    }
    const auto [low, high] = std::minmax_element(levels.begin(), levels.end());
    const double floor =
        levels.empty() ? DynamicSpectrum::kEmptyBinDbfs : std::floor(*low / 10.0) * 10.0;
    const double top = levels.empty() ? 0.0 : std::ceil(*high / 10.0) * 10.0;
    axis->setRange(std::min(floor, -10.0), std::max(top, 0.0));
}

QChart* FftChart(const NoiseAnalysis& analysis, int channel) {
    const std::optional<DynamicFigures>& dynamic = analysis.dynamic;
    QChart* chart = NewChart(FftTitle(dynamic, channel));
    RoundTickAxis* x = Axis(RoundTickAxis::Scale::Linear, QStringLiteral("周波数 [Hz]"));
    RoundTickAxis* y = Axis(RoundTickAxis::Scale::Linear, QStringLiteral("レベル [dBFS]"));
    x->setRange(0.0, analysis.sampleRate / 2.0);
    y->setRange(kEmptyFftFloor, 0.0);
    if (dynamic && dynamic->spectrum) {
        const DynamicSpectrum& spectrum = *dynamic->spectrum;
        QLineSeries* line = Line(QStringLiteral("パワースペクトル（1 ビンあたり）"), kBarColour,
                                 Qt::SolidLine, 1.0);
        for (std::size_t k = 0; k < spectrum.frequencyHz.size(); ++k) {
            line->append(spectrum.frequencyHz[k], spectrum.dbfs[k]);
        }
        chart->addSeries(line);
        if (dynamic->sine) {
            AddToneMarks(chart, spectrum, *dynamic->sine);
        }
        SetDecibelRange(y, spectrum);
    }
    Attach(chart, x, y);
    return chart;
}

}  // namespace

QChart* AnalysisCharts::Create(Kind kind, const NoiseAnalysis& analysis, int channel) {
    switch (kind) {
        case Kind::Histogram:
            return HistogramChart(analysis, channel);
        case Kind::Spectrum:
            return SpectrumChart(analysis, channel);
        case Kind::Allan:
            return AllanChart(analysis, channel);
        case Kind::Fft:
            return FftChart(analysis, channel);
    }
    return nullptr;
}

QImage AnalysisCharts::Picture(Kind kind, const NoiseAnalysis& analysis, int channel,
                               const PictureCaption& caption) {
    QChartView view(Create(kind, analysis, channel));
    view.setRenderHint(QPainter::Antialiasing);
    view.resize(kPictureSize);
    return caption.Below(view.grab().toImage());
}
