// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class CliOptions;

// The files a command writes besides a recording: the data file, the table, the graph and the
// analysis pictures. Checked before the board is contacted or a file is read, so that a bad
// name costs no measurement; written whole at the end, each on its own, so that one that
// fails keeps none of the others from being written.
class CliOutputs {
public:
    explicit CliOutputs(const CliOptions& cliOptions);

    // What keeps a file from being written, one text each: a name given twice, a folder that
    // does not exist or takes no file, something that may not be replaced, and for measure an
    // existing file without --force. Empty when every file can be written.
    QStringList Problems() const;
    // `contents` as the whole file; false, the reason printed, when it was not written.
    bool Write(const QString& fileName, const QByteArray& contents);
    // A file another writer wrote.
    void Note(const QString& fileName) { written << fileName; }
    const QStringList& Written() const { return written; }

private:
    QStringList Named() const;
    bool RefusesExisting() const;

    const CliOptions& options;
    QStringList written;
};
