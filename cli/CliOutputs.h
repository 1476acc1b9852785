// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QImage;

// The files a command writes besides a recording: the data file, the table, the graph and the
// analysis pictures. Checked before the board is contacted or a file is read, so that a bad
// name costs no measurement; written whole at the end, each on its own, so that one that
// fails keeps none of the others from being written.
class CliOutputs {
public:
    // `names` in the command line's order (empty ones are not asked for); with
    // fRefuseExisting, an existing file is not replaced.
    CliOutputs(const QStringList& names, bool fRefuseExisting);

    // True when every file can be written; else what keeps each from it is printed: a name
    // given twice, a folder that does not exist or takes no file, something that may not be
    // replaced, an existing file that is refused.
    bool MayBeWritten() const;
    // `contents` as the whole file; false, the reason printed, when it was not written.
    bool Write(const QString& fileName, const QByteArray& contents);
    bool Write(const QString& fileName, const QImage& picture);
    // A file another writer wrote.
    void Note(const QString& fileName) { written << fileName; }
    const QStringList& Written() const { return written; }

private:
    QStringList Problems() const;

    QStringList named;
    bool fRefuse;
    QStringList written;
};
