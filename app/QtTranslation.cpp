// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <cstring>

bool QtTranslation::Install(QCoreApplication& application) {
    auto* translation = new QtTranslation(&application);
    if (!translation->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                           QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translation;
        return false;
    }
    return QCoreApplication::installTranslator(translation);
}

QString QtTranslation::translate(const char* context, const char* sourceText,
                                 const char* disambiguation, int n) const {
    const QString text = QTranslator::translate(context, sourceText, disambiguation, n);
    // "Folder", "%1 File", "Drive" of the file dialog's type column.
    if (text.isEmpty() && context != nullptr &&
        std::strcmp(context, "QAbstractFileIconProvider") == 0) {
        return QTranslator::translate("QFileDialog", sourceText, disambiguation, n);
    }
    return text;
}
