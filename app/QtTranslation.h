// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTranslator>

class QCoreApplication;

// Qt's own Japanese texts for the labels and buttons it gives its dialogs ("Look in", "Save",
// "Cancel"), from Qt's catalogue (Debian's qt6-translations-l10n), so they speak the window's
// language. The file dialog's type column asks under a name that Qt's Japanese catalogue does
// not know yet; those texts are taken from the file dialog's own, which it has.
class QtTranslation : public QTranslator {
public:
    // Loads the translation into `application`, which keeps it; false when it is not installed.
    static bool Install(QCoreApplication& application);

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;

private:
    using QTranslator::QTranslator;
};
