// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalSocket;

// One copy of the program per user session. The first copy holds a lock file in the user's
// runtime folder (atomic, and a copy that crashed leaves a lock that the next start takes
// over) and listens on a local socket beside it; a second copy asks it to bring its window
// forward. Both live in the user's own folder, so another user's copies never meet ours;
// without a runtime folder they go to the shared temporary folder with the user id in their
// names. On the socket the first copy greets every caller with "SELKORAN\n" and shows its
// window on "show\n"; a caller waits at most 2 s for each step.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `key` names the lock file and the socket ("SELKORAN").
    explicit SingleInstance(QString key);
    ~SingleInstance() override;

    // True when this is the only copy; it then keeps the lock until it ends.
    bool TryLock();
    // Second copy: true when the first copy answers on its socket.
    bool ConnectToFirst();
    // Second copy, after ConnectToFirst: asks the first copy to show its window.
    void AskFirstToShow();
    // First copy: calls `showWindow` whenever another copy asks. False when the socket
    // cannot be opened; the copy still runs, but a second one cannot reach it.
    bool Listen(std::function<void()> showWindow);

    static QString LockFilePath(const QString& key);
    static QString SocketPath(const QString& key);

private:
    void OnNewConnection();

    QString key;
    QLockFile lockFile;
    QLocalServer server;
    std::unique_ptr<QLocalSocket> toFirst;
    std::function<void()> onShowRequest;
};
