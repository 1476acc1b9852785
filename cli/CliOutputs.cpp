// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliOutputs.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <string_view>

#include "cli/CliExit.h"
#include "datafile/FileReplacement.h"

namespace {

const QString kCannotSave = QStringLiteral("保存できません");

}  // namespace

CliOutputs::CliOutputs(const QStringList& names, bool fRefuseExisting)
    : named(names), fRefuse(fRefuseExisting) {
    named.removeAll(QString());
}

QStringList CliOutputs::Problems() const {
    QStringList problems;
    QStringList seen;
    for (const QString& name : named) {
        const QString path = QDir::cleanPath(QFileInfo(name).absoluteFilePath());
        if (seen.contains(path)) {
            problems << QStringLiteral("同じファイルが二度指定されています：") + name;
            continue;
        }
        seen << path;
        const FileReplacement replacement(name.toStdString());
        const FileFailure failure = replacement.Check();
        if (replacement.Exists() && fRefuse) {
            problems << CliExit::ExistingFileText(name);
        } else if (failure.Failed()) {
            problems << CliExit::FileFailureText(kCannotSave, name, failure);
        }
    }
    return problems;
}

bool CliOutputs::MayBeWritten() const {
    const QStringList problems = Problems();
    for (const QString& problem : problems) {
        CliExit::PrintError(problem);
    }
    return problems.isEmpty();
}

bool CliOutputs::Write(const QString& fileName, const QByteArray& contents) {
    const FileReplacement replacement(fileName.toStdString());
    // The file turned up while the run went on.
    if (replacement.Exists() && fRefuse) {
        CliExit::PrintError(CliExit::ExistingFileText(fileName));
        return false;
    }
    const FileFailure failure = replacement.Write(
        std::string_view(contents.constData(), static_cast<std::size_t>(contents.size())));
    if (failure.Failed()) {
        CliExit::PrintError(CliExit::FileFailureText(CliExit::kSaveFailedText, fileName, failure));
        return false;
    }
    written << fileName;
    return true;
}

bool CliOutputs::Write(const QString& fileName, const QImage& picture) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return Write(fileName, bytes);
}
