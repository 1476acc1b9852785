// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCategoryAxis>
#include <QString>
#include <vector>

// A chart axis whose numbered ticks stand at round values for whatever range it shows, a zoom
// included: 1-2-5 steps on a linear axis, at least four ticks; on a log axis whole decades,
// with 2 and 5 between them where the decades alone give fewer than three, and 1-2-5 steps
// within a decade where even those do not. Every chart of the program labels its axes so.
class RoundTickAxis : public QCategoryAxis {
public:
    enum class Scale {
        Linear,
        Whole,  // whole numbers only (codes, counts); the axis spans at least kLeastWholeSpan
        Log,    // the series and the range are in log10 of the values; the labels are values
    };
    struct Tick {
        double position;  // on the axis: the value, or its log10
        QString label;
    };
    static constexpr double kLeastWholeSpan = 4.0;

    explicit RoundTickAxis(Scale axisScale);

    // The ticks of a range in axis units, in increasing order.
    static std::vector<Tick> Ticks(double min, double max, Scale scale);

private:
    // The ticks of the range just set; a Whole axis too narrow is widened first.
    void Relabel();

    Scale scale;
};
