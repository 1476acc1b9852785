// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "measure/Acquisition.h"

class Prompts;

// The catalogue of the program's error boxes: each operation words one situation and shows
// it as a modal box with an OK button and the error icon, owned by no window.
class TmyMessage {
public:
    // The longest caption the box's caption area takes; longer captions are cut.
    static constexpr int kCaptionLength = 19;

    TmyMessage(QString applicationName, const char* caption, Prompts& boxPrompts);

    void FatalMemoryError(const QString& objectName);
    void BoardNotFound();
    void BoardNoResponse();
    void SaveFailed();
    void BadDataFile();
    void NoData();
    // What the operator is told when a start fails at the board, the same in every window and
    // on the command line: a board not found (or another board), a board that does not answer,
    // a board that refuses its settings. A start that a file refused, or that met another run,
    // shows nothing here: the file's owner words that.
    void StartFailed(Acquisition::StartResult result);
    // A box of the same kind with a text worded elsewhere (the status line's failure texts
    // that the recording window shows as boxes).
    void Show(const QString& text);

private:
    QString appName;
    QString boxCaption;
    Prompts& prompts;
};
