// SPDX-License-Identifier: GPL-3.0-or-later
#include "charts/PictureCaption.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

#include "charts/WindowFont.h"

namespace {

constexpr int kFontPixels = 12;
constexpr int kMargin = 6;

}  // namespace

PictureCaption PictureCaption::For(const QString& path, int chSel, double sampleRate, bool fSinc5,
                                   std::int64_t count, const QDateTime& measured) {
    const QFileInfo file(path);
    return {path.isEmpty() ? kMeasuredData : file.fileName(),
            chSel == 2 ? QStringLiteral("CH0 + CH1") : QStringLiteral("CH%1").arg(chSel),
            sampleRate,
            fSinc5,
            count,
            path.isEmpty() ? measured : file.lastModified()};
}

QString PictureCaption::Text() const {
    // Joined, not filled in: a file name may hold "%1".
    return QStringList({source, channel, QString::number(sampleRate, 'g', 10) + " sps",
                        fSinc5 ? QStringLiteral("Sinc5+Sinc1") : QStringLiteral("Sinc3"),
                        QStringLiteral("データ数 ") + QString::number(count),
                        time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))})
        .join(QStringLiteral("　"));
}

int PictureCaption::LineHeight() {
    return QFontMetrics(WindowFont(kFontPixels)).height() + 2 * kMargin;
}

QImage PictureCaption::Below(const QImage& picture) const {
    const QFont font = WindowFont(kFontPixels);
    const QFontMetrics metrics(font);
    const int line = LineHeight();
    QImage captioned(picture.width(), picture.height() + line, QImage::Format_RGB32);
    // The strip continues the picture's own background.
    captioned.fill(picture.isNull() ? QColor(Qt::white)
                                    : picture.pixelColor(0, picture.height() - 1));
    QPainter painter(&captioned);
    painter.drawImage(0, 0, picture);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QRect strip(kMargin, picture.height(), picture.width() - 2 * kMargin, line);
    painter.drawText(strip, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(Text(), Qt::ElideMiddle, strip.width()));
    return captioned;
}
