// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

// The one board, shared by the main window's measurement run and the recording window: the
// one that takes it keeps the other off until it lets go, and both hear when that changes.
class BoardUse : public QObject {
    Q_OBJECT
public:
    enum class User { None, Run, Recording };

    // False while the other holds the board.
    bool Take(User user);
    // Only the holder lets go; anyone else's release changes nothing.
    void Release(User user);
    User Holder() const { return holder; }

signals:
    void Changed();

private:
    User holder = User::None;
};
