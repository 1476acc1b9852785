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

QLineSeries* Line(const QString& name, const QColor& colour, Qt::PenStyle style = Qt::SolidLine) {
    auto* series = new QLineSeries;
    series->setName(name);
    series->setPen(QPen(colour, 2.0, style));
    return series;
}

QScatterSeries* Mark(const QString& name, QPointF point) {
    auto* series = new QScatterSeries;
    series->setName(name);
    series->setColor(kMarkColour);
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

QChart* SpectrumChart(const NoiseAnalysis& analysis, int channel) {
    const NoiseSpectrum& spectrum = analysis.spectrum;
    QChart* chart = NewChart(ChannelTitle(channel, QStringLiteral("ノイズスペクトル密度")));
    QLineSeries* density = Line(QStringLiteral("ノイズ密度"), kBarColour);
    // 0 Hz and empty bins have no place on log axes.
    for (std::size_t k = 1; k < spectrum.frequencyHz.size(); ++k) {
        if (spectrum.nanovoltsPerRootHz[k] > 0.0) {
            density->append(LogPoint(spectrum.frequencyHz[k], spectrum.nanovoltsPerRootHz[k]));
        }
    }
    chart->addSeries(density);
    QList<QPointF> extent = density->points();
    if (spectrum.whiteNoiseNanovoltsPerRootHz && *spectrum.whiteNoiseNanovoltsPerRootHz > 0.0 &&
        !extent.isEmpty()) {
        const double white = *spectrum.whiteNoiseNanovoltsPerRootHz;
        QLineSeries* level =
            Line(QStringLiteral("ホワイトノイズ密度 %1 nV/√Hz").arg(FigureText(white)),
                 kCurveColour, Qt::DashLine);
        level->append(extent.front().x(), std::log10(white));
        level->append(extent.back().x(), std::log10(white));
        chart->addSeries(level);
    }
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

}  // namespace

QChart* AnalysisCharts::Create(Kind kind, const NoiseAnalysis& analysis, int channel) {
    switch (kind) {
        case Kind::Histogram:
            return HistogramChart(analysis, channel);
        case Kind::Spectrum:
            return SpectrumChart(analysis, channel);
        case Kind::Allan:
            return AllanChart(analysis, channel);
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
