// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

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

private:
    void Show(const QString& text);

    QString appName;
    QString boxCaption;
    Prompts& prompts;
};
