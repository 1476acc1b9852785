// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "app/RecordingChart.h"
#include "record/Recorder.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;
class QWidget;

// The recording window's controls and their layout: on the left rate, filter, channel, a count
// or a duration (only the chosen one editable), the file, "データなし時間切れ" in seconds, the
// start and analysis buttons and the state line; on the right the chart's span, the figures'
// span, the chart, the progress line and the figures. The window inherits them and wires their
// events to its own handlers.
class RecordingForm {
public:
    static inline const QString kTitle = QStringLiteral("SELKORAN / 長時間記録");
    static inline const QString kStartCaption = QStringLiteral("記録開始");
    static inline const QString kStopCaption = QStringLiteral("記録停止");

    RecordingChart& Chart() const { return *chart; }
    // The chart's span: the last seconds it follows, none for the whole recording.
    std::optional<double> ChartSpan() const;
    // How many of the newest samples the figures cover.
    std::size_t FigureSpan() const;

    QComboBox* RateBox = nullptr;
    QRadioButton* Sinc3Btn = nullptr;
    QRadioButton* Sinc5Btn = nullptr;
    QComboBox* ChannelBox = nullptr;
    QRadioButton* CountBtn = nullptr;
    QSpinBox* CountEdit = nullptr;
    QRadioButton* DurationBtn = nullptr;
    std::array<QSpinBox*, 3> DurationEdits{};  // hours, minutes, seconds
    QLineEdit* FileEdit = nullptr;
    QPushButton* BrowseBtn = nullptr;
    QSpinBox* TimeoutEdit = nullptr;
    QPushButton* StartBtn = nullptr;
    QPushButton* AnalyseBtn = nullptr;
    QComboBox* SpanBox = nullptr;        // the whole recording or its last minutes
    QComboBox* FigureSpanBox = nullptr;  // the newest samples the figures cover
    QTableWidget* FigureTable = nullptr;
    QLabel* ProgressLabel = nullptr;
    QLabel* StateLabel = nullptr;

protected:
    // Makes every control of `window`, at its first size.
    void SetupUi(QWidget& window);
    // The settings, the file and the time-out; the length fields follow their choice.
    void SetControlsEnabled(bool enabled);
    // Only the length chosen, by count or by duration, can be edited.
    void UpdateLengthFields();
    // The recording the controls describe, into `path`.
    Recorder::Request ReadRequest(const std::string& path) const;

private:
    QWidget* SetupControls();
    QWidget* SetupView();

    QWidget* window = nullptr;
    RecordingChart* chart = nullptr;
};
