// SPDX-License-Identifier: GPL-3.0-or-later
// The program's real dialogs, shown offscreen, with Qt's own Japanese translation installed.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QTimer>
#include <QTranslator>
#include <functional>
#include <vector>

#include "QtPrompts.h"
#include "QtTranslation.h"
#include "TestApplication.h"

namespace {

// Shows a dialog through `show`, collects the texts of its labels and buttons once it is up,
// and closes it.
QStringList DialogTexts(const std::function<void()>& show) {
    QStringList texts;
    QTimer::singleShot(0, [&texts] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr) {
            return;
        }
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            texts << label->text();
        }
        for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
            texts << button->text();
        }
        dialog->close();
    });
    show();
    return texts;
}

TEST(QtTranslation, FileDialogsSpeakJapanese) {
    QApplication& application = TestApplication();
    ASSERT_TRUE(QtTranslation::Install(application));
    QtPrompts prompts;
    struct Dialog {
        const char* name;
        std::function<void()> show;
        QStringList japanese;
    };
    const std::vector<Dialog> dialogs = {
        {"save",
         [&] { prompts.AskSaveFileName("データファイル (*.DTA)", "a.DTA"); },
         {"アドレス:", "ファイル名(&N):", "ファイルの種類:", "保存(&S)", "キャンセル"}},
        {"open",
         [&] { prompts.AskOpenFileName("データファイル (*.DTA)", ""); },
         {"アドレス:", "開く(&O)", "キャンセル"}},
    };
    for (const Dialog& dialog : dialogs) {
        SCOPED_TRACE(dialog.name);
        const QStringList texts = DialogTexts(dialog.show);
        for (const QString& text : dialog.japanese) {
            EXPECT_TRUE(texts.contains(text)) << text.toStdString();
        }
    }
    // The type column of the file list, which Qt asks for under another name.
    EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Folder"), "フォルダ");
    // Other tests of this program expect Qt's own texts.
    delete application.findChild<QTranslator*>();
}

}  // namespace
