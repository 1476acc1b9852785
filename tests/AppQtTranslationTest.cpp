// SPDX-License-Identifier: GPL-3.0-or-later
// The program's real file dialog, shown offscreen, with Qt's own Japanese translation.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QTimer>

#include "app/QtPrompts.h"
#include "app/QtTranslation.h"
#include "tests/fakes/TestApplication.h"

TEST(QtTranslation, FileDialogSpeaksJapanese) {
    QApplication& application = TestApplication();
    ASSERT_TRUE(QtTranslation::Install(application));
    QStringList texts;
    QTimer::singleShot(0, [&texts] {  // once the dialog is up: its texts, then cancel it
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            texts << label->text();
        }
        for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
            texts << button->text();
        }
        dialog->close();
    });
    QtPrompts().AskSaveFileName("データファイル (*.DTA)", "a.DTA");
    for (const char* text :
         {"アドレス:", "ファイル名(&N):", "ファイルの種類:", "保存(&S)", "キャンセル"}) {
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
    }
    // The file list's type column, which Qt asks for under another name.
    EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Folder"), "フォルダ");
    // Other tests of this program expect Qt's own texts.
    delete application.findChild<QTranslator*>();
}
