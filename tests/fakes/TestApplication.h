// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

// One QApplication for a whole test program, on the offscreen platform unless told otherwise.
// Never destroyed: it must outlive every static object Qt creates while the tests run.
inline QApplication& TestApplication() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "selkoran-tests";
    static char* argv[] = {name, nullptr};
    static auto* application = new QApplication(argc, argv);
    return *application;
}
