// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>
#include <cstdint>

// The one line under an exported chart that says what it shows: where the data came from
// (the file's name, or "測定データ"), the channel, the sample rate, the filter, the sample
// count and the date.
struct PictureCaption {
    static inline const QString kMeasuredData = QStringLiteral("測定データ");

    QString source;
    QString channel;  // "CH0", "CH1" or "CH0 + CH1"
    double sampleRate = 0.0;
    bool fSinc5 = true;
    std::int64_t count = 0;
    QDateTime time;

    // Data read from the file at `path` carry its name and its last change; data just measured
    // (an empty path) are "測定データ" of `measured`. `chSel` is 0, 1 or 2 (both).
    static PictureCaption For(const QString& path, int chSel, double sampleRate, bool fSinc5,
                              std::int64_t count,
                              const QDateTime& measured = QDateTime::currentDateTime());

    // The caption's line, in pixels.
    static int LineHeight();

    QString Text() const;
    // `picture` with the caption in one line under it; the picture's own pixels stay as they
    // are. Needs a QGuiApplication.
    QImage Below(const QImage& picture) const;
};
