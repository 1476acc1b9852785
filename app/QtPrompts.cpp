// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QtPrompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QMessageBox::Icon BoxIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Warning:
            return QMessageBox::Warning;
        case PromptIcon::Error:
            return QMessageBox::Critical;
        case PromptIcon::Question:
            return QMessageBox::Question;
        case PromptIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// Where a save dialog offers several types, a name typed without an extension takes the one of
// the type chosen ("HDF5 ファイル (*.h5 *.hdf5)": ".h5").
QString WithChosenExtension(const QFileDialog& dialog, const QString& name) {
    static const QRegularExpression firstPattern(QStringLiteral("\\(\\*(\\.[^ )]+)"));
    const QRegularExpressionMatch match = firstPattern.match(dialog.selectedNameFilter());
    const bool fChoice = dialog.nameFilters().size() > 1;
    return fChoice && QFileInfo(name).suffix().isEmpty() && match.hasMatch()
               ? name + match.captured(1)
               : name;
}

// A modal Qt file dialog; the data file code asks its own overwrite question, so the save
// dialog does not ask one.
std::optional<std::string> AskFileName(QFileDialog::AcceptMode mode, const QString& title,
                                       const std::string& filter, const std::string& initialName) {
    QFileDialog dialog(nullptr, title, QString(), Text(filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.selectFile(Text(initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return WithChosenExtension(dialog, dialog.selectedFiles().constFirst()).toStdString();
}

}  // namespace

void QtPrompts::ShowMessage(const std::string& caption, const std::string& text, PromptIcon icon) {
    QMessageBox box(BoxIcon(icon), Text(caption), Text(text), QMessageBox::Ok, nullptr);
    box.exec();
}

bool QtPrompts::AskYesNo(const std::string& caption, const std::string& text,
                         const std::string& yesText, const std::string& noText, bool defaultYes) {
    QMessageBox box(QMessageBox::Question, Text(caption), Text(text), QMessageBox::NoButton,
                    nullptr);
    QPushButton* yes = box.addButton(Text(yesText), QMessageBox::YesRole);
    QPushButton* no = box.addButton(Text(noText), QMessageBox::NoRole);
    box.setDefaultButton(defaultYes ? yes : no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

std::optional<std::string> QtPrompts::AskSaveFileName(const std::string& filter,
                                                      const std::string& initialName) {
    return AskFileName(QFileDialog::AcceptSave, QStringLiteral("名前を付けて保存"), filter,
                       initialName);
}

std::optional<std::string> QtPrompts::AskOpenFileName(const std::string& filter,
                                                      const std::string& initialName) {
    return AskFileName(QFileDialog::AcceptOpen, QStringLiteral("ファイルを開く"), filter,
                       initialName);
}
