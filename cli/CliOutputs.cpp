// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliOutputs.h"

#include <QDir>
#include <QFileInfo>
#include <string_view>

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "datafile/FileReplacement.h"

namespace {

const QString kCannotSave = QStringLiteral("保存できません");

}  // namespace

CliOutputs::CliOutputs(const CliOptions& cliOptions) : options(cliOptions) {}

QStringList CliOutputs::Named() const {
    QStringList names;
    switch (options.command) {
        case CliOptions::Command::Measure:
            names << options.output << options.csvFile << options.pngFile;
            break;
        case CliOptions::Command::Show:
            names << options.csvFile << options.pngFile;
            break;
        default:
            break;
    }
    names << options.histogramFile << options.spectrumFile << options.allanFile;
    names.removeAll(QString());
    return names;
}

// Only a measurement refuses to replace a file without --force: what it writes took the
// board's time, and an older run may sit under the name.
bool CliOutputs::RefusesExisting() const {
    return options.command == CliOptions::Command::Measure && !options.fForce;
}

QStringList CliOutputs::Problems() const {
    QStringList problems;
    QStringList seen;
    for (const QString& name : Named()) {
        const QString path = QDir::cleanPath(QFileInfo(name).absoluteFilePath());
        if (seen.contains(path)) {
            problems << QStringLiteral("同じファイルが二度指定されています：") + name;
            continue;
        }
        seen << path;
        const FileReplacement replacement(name.toStdString());
        const FileFailure failure = replacement.Check();
        if (replacement.Exists() && RefusesExisting()) {
            problems << CliCommands::ExistingFileText(name);
        } else if (failure.Failed()) {
            problems << CliCommands::FileFailureText(kCannotSave, name, failure);
        }
    }
    return problems;
}

bool CliOutputs::Write(const QString& fileName, const QByteArray& contents) {
    const FileReplacement replacement(fileName.toStdString());
    // The file turned up while the run went on.
    if (replacement.Exists() && RefusesExisting()) {
        CliCommands::PrintError(CliCommands::ExistingFileText(fileName));
        return false;
    }
    const FileFailure failure = replacement.Write(
        std::string_view(contents.constData(), static_cast<std::size_t>(contents.size())));
    if (failure.Failed()) {
        CliCommands::PrintError(
            CliCommands::FileFailureText(CliCommands::kSaveFailedText, fileName, failure));
        return false;
    }
    written << fileName;
    return true;
}
