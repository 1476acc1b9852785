// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// selkoran-cli as the operator and scripts meet it: a separate process in the build directory.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "tests/fakes/TestApplication.h"

inline QString BuildPath(const QString& program) {
    return QStringLiteral(SELKORAN_BUILD_DIR) + '/' + program;
}

struct CliResult {
    int exitCode = -1;  // -1: did not end normally in time
    QString out;
    QString err;

    QStringList OutLines() const { return out.split('\n', Qt::SkipEmptyParts); }
};

// Runs the program in `workDir` with `arguments` and waits for it to end.
inline CliResult RunCli(
    const QString& workDir, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
    int timeoutMs = 15000) {
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.setProcessEnvironment(environment);
    process.start(BuildPath("selkoran-cli"), arguments);
    CliResult result;
    if (process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    } else {
        process.kill();
        process.waitForFinished();
    }
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// A test of selkoran-cli, run in a temporary folder of its own.
class CliFixture : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        ASSERT_TRUE(dir.isValid());
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    CliResult Run(const QStringList& arguments, const QProcessEnvironment& environment =
                                                    QProcessEnvironment::systemEnvironment()) {
        return RunCli(dir.path(), arguments, environment);
    }

    QTemporaryDir dir;
};

// The lines of a text file, without their line ends (CR LF or LF).
inline QStringList FileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).remove(QChar('\r')).split('\n', Qt::SkipEmptyParts);
}

inline void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(text);
    }
}

// The data lines of a ".DTA" file: between "D:" and "DEND:".
inline QStringList DataLines(const QString& path) {
    const QStringList lines = FileLines(path);
    const qsizetype begin = lines.indexOf("D:");
    const qsizetype end = lines.indexOf("DEND:");
    return begin < 0 || end < begin ? QStringList{} : lines.mid(begin + 1, end - begin - 1);
}
