// SPDX-License-Identifier: GPL-3.0-or-later
// The graph's drawing at the window's design size: the picture's pixels, and where the
// axis labels go.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QWidget>
#include <array>
#include <cmath>
#include <memory>

#include "charts/GraphPanel.h"
#include "charts/PaintBox.h"
#include "graph/Canvas.h"
#include "graph/Graph_2ch.h"
#include "tests/fakes/TestApplication.h"

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGrey = qRgb(128, 128, 128);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);

// The graph on the window's graph panel.
struct GraphOnForm {
    GraphOnForm() {
        form.resize(792, 458);
        graph = std::make_unique<TGraph_2CH>(panel.Box(), &ch0.Series, &yLabels, &xLabels,
                                             &settings, &ch1.Series);
    }
    void Fill(ChannelBuffer& channel, int count, const std::function<std::int32_t(int)>& code) {
        for (int i = 0; i < count; ++i) {
            channel.Codes[i] = code(i);
            channel.Microvolts[i] = static_cast<float>(CodeToMicrovolts(code(i), 1));
        }
        channel.Series.Count = count;
    }
    int Count(QRgb colour) const {
        const QImage& image = graph->Bitmap();
        int n = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                n += image.pixel(x, y) == colour ? 1 : 0;
            }
        }
        return n;
    }
    // Leftmost and rightmost column holding `colour`.
    std::pair<int, int> Columns(QRgb colour) const {
        const QImage& image = graph->Bitmap();
        int first = image.width();
        int last = -1;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) == colour) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
            }
        }
        return {first, last};
    }
    QRgb Pixel(int x, int y) const { return graph->Bitmap().pixel(x, y); }

    QApplication& application = TestApplication();  // before any widget
    QWidget form;
    GraphPanel panel{form};
    TGraph_2CH::YLabelArray& yLabels = panel.YLabels();
    TGraph_2CH::XLabelPair& xLabels = panel.XLabels();
    ChannelBuffer ch0;
    ChannelBuffer ch1;
    MeasureSettings settings;
    std::unique_ptr<TGraph_2CH> graph;
};

TEST(GraphDraw, PictureSitsInsideTheFrame) {
    GraphOnForm g;
    EXPECT_EQ(g.graph->Bitmap().size(), QSize(558, 367));
    EXPECT_EQ(g.graph->DestinationRect(), QRect(1, 1, 558, 367));
    g.graph->DrawEmpty(false);

    // Shown on the box, the frame keeps whatever was there: the graph never paints it.
    QImage box(560, 369, QImage::Format_RGB32);
    box.fill(qRgb(1, 2, 3));
    {
        QPainter painter(&box);
        g.graph->PaintToScreen(painter);
    }
    for (const QPoint p : {QPoint(0, 0), QPoint(559, 0), QPoint(0, 368), QPoint(559, 368),
                           QPoint(300, 0), QPoint(0, 200), QPoint(559, 200), QPoint(300, 368)}) {
        EXPECT_EQ(box.pixel(p), qRgb(1, 2, 3)) << p.x() << "," << p.y();
    }
    EXPECT_EQ(box.pixel(1, 1), kGrey);
    EXPECT_EQ(box.pixel(100, 100), g.Pixel(99, 99));
}

TEST(GraphDraw, GridRowsAndColumns) {
    GraphOnForm g;
    g.graph->DrawEmpty(false);
    const std::array<int, 11> rows = {0, 36, 73, 109, 146, 183, 219, 256, 292, 329, 366};
    std::vector<int> greyRows;
    for (int y = 0; y < 367; ++y) {
        if (g.Pixel(5, y) == kGrey) {
            greyRows.push_back(y);
        }
    }
    EXPECT_EQ(greyRows, std::vector<int>(rows.begin(), rows.end()));
    std::vector<int> greyColumns;
    for (int x = 0; x < 558; ++x) {
        if (g.Pixel(x, 5) == kGrey) {
            greyColumns.push_back(x);
        }
    }
    EXPECT_EQ(greyColumns, (std::vector<int>{0, 55, 111, 167, 222, 278, 334, 389, 445, 501, 557}));
    // Each line leaves its end point out: the bottom-right corner stays white.
    EXPECT_EQ(g.Pixel(557, 366), kWhite);
    EXPECT_EQ(g.Pixel(556, 366), kGrey);
    EXPECT_EQ(g.Pixel(557, 365), kGrey);
    EXPECT_EQ(g.Count(kRed) + g.Count(kBlue), 0);
}

TEST(GraphDraw, LabelPlacement) {
    GraphOnForm g;
    g.graph->DrawEmpty(false);
    for (int i = 0; i < 11; ++i) {
        const QLabel* label = g.yLabels[i];
        EXPECT_EQ(label->x(), 22);  // 50 left of the box in code mode
        EXPECT_EQ(label->y() + label->height() / 2, 25 + (367 * i) / 10) << i;
    }
    EXPECT_EQ(g.xLabels[0]->text(), "1");
    EXPECT_EQ(g.xLabels[1]->text(), "1000");
    EXPECT_EQ(g.xLabels[0]->pos(), QPoint(72, 401));
    EXPECT_EQ(g.xLabels[1]->y(), 401);
    EXPECT_EQ(g.xLabels[1]->x() + g.xLabels[1]->width(), 630);

    g.graph->DrawEmpty(true);  // volt labels end 3 pixels left of the box
    EXPECT_EQ(g.yLabels[0]->text(), "14.90");
    for (const QLabel* label : g.yLabels) {
        EXPECT_EQ(label->x() + label->width(), 69);
    }

    g.Fill(g.ch0, 300, [](int i) { return 8388608 + i % 7; });
    g.graph->DrawWindow(false, 100, 199);  // window code labels start 67 left of the box
    EXPECT_EQ(g.yLabels[5]->x(), 5);
    EXPECT_EQ(g.xLabels[0]->text(), "101");
    EXPECT_EQ(g.xLabels[1]->text(), "200");
}

TEST(GraphDraw, ChannelsNeedTenSamples) {
    for (int count : {9, 10}) {
        GraphOnForm g;
        g.Fill(g.ch0, count, [](int i) { return 8388608 + 40 * (i % 2); });
        g.graph->DrawAll(false);
        if (count == 9) {
            EXPECT_EQ(g.Count(kRed), 0);
        } else {
            EXPECT_GT(g.Count(kRed), 0);
        }
        EXPECT_EQ(g.xLabels[1]->text(), "100");  // the axis spans at least 100 samples
    }
}

TEST(GraphDraw, TraceSpansTheAxisAndBlueLiesOverRed) {
    GraphOnForm g;
    g.Fill(g.ch0, 10000, [](int i) { return 8388608 + (i * 37) % 101; });
    g.Fill(g.ch1, 10000, [](int i) { return 8388608 + (i * 37) % 101; });
    g.settings.CHSel = 2;
    g.graph->DrawAll(false);
    EXPECT_EQ(g.Count(kRed), 0);  // the same samples: CH1's trace covers CH0's
    EXPECT_GT(g.Count(kBlue), 1000);
    const auto [first, last] = g.Columns(kBlue);
    EXPECT_EQ(first, 1);
    EXPECT_GE(last, 555);
    EXPECT_LE(last, 556);
    EXPECT_EQ(g.xLabels[1]->text(), "10000");

    g.Fill(g.ch1, 10000, [](int) { return 8388658; });  // now apart
    g.graph->DrawAll(true);
    EXPECT_GT(g.Count(kRed), 1000);
    EXPECT_GT(g.Count(kBlue), 400);

    g.graph->DrawAxes(true);  // traces gone, grid and labels stay
    EXPECT_EQ(g.Count(kRed) + g.Count(kBlue), 0);
    EXPECT_EQ(g.Pixel(5, 183), kGrey);
}

TEST(GraphDraw, WindowDrawsBothChannelsOfItsStretch) {
    GraphOnForm g;
    g.settings.CHSel = 2;
    g.Fill(g.ch0, 200, [](int i) { return 8388608 + i % 5; });
    g.Fill(g.ch1, 200, [](int i) { return 12000000 + i % 5; });
    g.ch0.Series.Count = g.ch1.Series.Count = 0;  // during a run the counts are still 0
    g.graph->DrawWindow(false, 100, 199);
    EXPECT_GT(g.Count(kRed), 50);
    EXPECT_GT(g.Count(kBlue), 50);
    const auto [first, last] = g.Columns(kRed);
    EXPECT_EQ(first, 1);
    EXPECT_GE(last, 555);

    g.settings.CHSel = 1;
    g.graph->DrawWindow(false, 100, 199);
    EXPECT_EQ(g.Count(kRed), 0);
    EXPECT_GT(g.Count(kBlue), 50);

    // The same samples on both channels: CH1, drawn after CH0, covers it.
    g.settings.CHSel = 2;
    g.Fill(g.ch1, 200, [](int i) { return 8388608 + i % 5; });
    g.graph->DrawWindow(false, 100, 199);
    EXPECT_EQ(g.Count(kRed), 0);
    EXPECT_GT(g.Count(kBlue), 50);
}

// ---- the line routine ----

struct LineCase {
    QPoint from;
    QPoint to;
};

std::vector<QPoint> Painted(const QImage& image) {
    std::vector<QPoint> points;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == kRed) {
                points.push_back({x, y});
            }
        }
    }
    return points;
}

TEST(Canvas, EveryOctantLeavesTheEndPointOut) {
    const QPoint c(50, 50);
    const std::vector<QPoint> ends = {{60, 53}, {53, 60}, {47, 60}, {40, 53}, {40, 47}, {47, 40},
                                      {53, 40}, {60, 47}, {60, 50}, {50, 60}, {40, 50}, {50, 40},
                                      {60, 60}, {40, 40}, {60, 40}, {40, 60}, {51, 50}};
    for (const QPoint end : ends) {
        QImage image(101, 101, QImage::Format_RGB32);
        image.fill(kWhite);
        Canvas canvas(image);
        canvas.SetPen(kRed);
        canvas.MoveTo(c.x(), c.y());
        canvas.LineTo(end.x(), end.y());
        const auto points = Painted(image);
        const int steps = std::max(std::abs(end.x() - c.x()), std::abs(end.y() - c.y()));
        EXPECT_EQ(static_cast<int>(points.size()), steps) << end.x() << "," << end.y();
        EXPECT_EQ(image.pixel(c), kRed);
        EXPECT_EQ(image.pixel(end), kWhite);
        const QRect box(QPoint(std::min(c.x(), end.x()), std::min(c.y(), end.y())),
                        QPoint(std::max(c.x(), end.x()), std::max(c.y(), end.y())));
        for (const QPoint p : points) {
            EXPECT_TRUE(box.contains(p));
            // Every painted pixel lies within half a pixel of the ideal line.
            const double cross =
                std::abs((end.x() - c.x()) * (p.y() - c.y()) - (end.y() - c.y()) * (p.x() - c.x()));
            EXPECT_LE(cross / std::hypot(end.x() - c.x(), end.y() - c.y()), 0.75);
        }
    }
}

TEST(Canvas, PointsFarOutsideAreCutToTheImage) {
    QImage image(100, 50, QImage::Format_RGB32);
    image.fill(kWhite);
    Canvas canvas(image);
    canvas.SetPen(kRed);
    canvas.MoveTo(-1000000, 10);
    canvas.LineTo(1000000, 10);
    canvas.MoveTo(5, 5);
    canvas.LineTo(5, 1000000);
    const auto points = Painted(image);
    int row = 0;
    int column = 0;
    for (const QPoint p : points) {
        row += p.y() == 10 ? 1 : 0;
        column += p.x() == 5 && p.y() >= 5 ? 1 : 0;
    }
    EXPECT_EQ(row, 100);
    EXPECT_EQ(column, 45);
    EXPECT_EQ(points.size(), 100u + 45u - 1u);  // the two lines cross once
}

// The rows a canvas reports painted are where a kept picture is put back: a row it leaves out
// keeps a stale trace on the next drawing.
TEST(Canvas, PaintedRowsHoldEveryPaintedPixel) {
    const std::vector<LineCase> lines = {
        {{10, 10}, {90, 40}},     {{90, 40}, {10, 10}},      {{50, 5}, {50, 45}},
        {{50, 45}, {50, 5}},      {{3, 20}, {97, 20}},       {{20, -500}, {30, 700}},
        {{-1000000, 48}, {5, 2}}, {{60, 30}, {60, 1000000}}, {{70, 30}, {71, 30}}};
    for (const LineCase& line : lines) {
        QImage image(100, 50, QImage::Format_RGB32);
        image.fill(kWhite);
        Canvas canvas(image);
        EXPECT_TRUE(canvas.Painted().Empty());
        canvas.SetPen(kRed);
        canvas.MoveTo(line.from.x(), line.from.y());
        canvas.LineTo(line.to.x(), line.to.y());
        const RowBand band = canvas.Painted();
        const auto points = Painted(image);
        ASSERT_FALSE(points.empty()) << line.from.x() << "," << line.from.y();
        for (const QPoint p : points) {
            EXPECT_GE(p.y(), band.top) << line.from.x() << "," << line.from.y();
            EXPECT_LT(p.y(), band.bottom) << line.from.x() << "," << line.from.y();
        }
    }
}

}  // namespace
