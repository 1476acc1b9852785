// SPDX-License-Identifier: GPL-3.0-or-later
#include "charts/WindowFont.h"

#include <QStringList>

QFont WindowFont(int pixelSize) {
    const QString family = QStringLiteral("ＭＳ Ｐゴシック");
    QFont::insertSubstitutions(family,
                               {QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic")});
    QFont font(family);
    font.setPixelSize(pixelSize);
    return font;
}

QFont AxisLabelFont(int pixelSize) {
    QFont font = WindowFont(pixelSize);
    font.setFamilies({QStringLiteral("IPAGothic"), font.family()});
    return font;
}
