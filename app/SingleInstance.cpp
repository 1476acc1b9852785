// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr int kAnswerWaitMs = 2000;
const QByteArray kShowRequest = "show\n";
const QByteArray kHello = "SELKORAN\n";

// The lock and the socket without their extensions. The runtime folder belongs to the user;
// without one, the shared temporary folder tells users apart by the user id in the name.
QString BasePath(const QString& key) {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty()) {
        return QDir(runtime).filePath(key);
    }
    return QDir(QDir::tempPath()).filePath(key + '-' + QString::number(getuid()));
}

}  // namespace

SingleInstance::SingleInstance(QString instanceKey)
    : key(std::move(instanceKey)), lockFile(LockFilePath(key)) {
    server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::LockFilePath(const QString& key) {
    return BasePath(key) + ".lock";
}

QString SingleInstance::SocketPath(const QString& key) {
    return BasePath(key) + ".socket";
}

bool SingleInstance::TryLock() {
    // A lock whose owner no longer runs is stale and taken over at once.
    return lockFile.tryLock(0);
}

bool SingleInstance::ConnectToFirst() {
    toFirst = std::make_unique<QLocalSocket>();
    toFirst->connectToServer(SocketPath(key));
    if (!toFirst->waitForConnected(kAnswerWaitMs)) {
        return false;
    }
    // The first copy greets every caller; silence means it is hung or not ours.
    while (toFirst->bytesAvailable() < kHello.size()) {
        if (!toFirst->waitForReadyRead(kAnswerWaitMs)) {
            return false;
        }
    }
    return toFirst->read(kHello.size()) == kHello;
}

void SingleInstance::AskFirstToShow() {
    if (!toFirst || toFirst->state() != QLocalSocket::ConnectedState) {
        return;
    }
    toFirst->write(kShowRequest);
    toFirst->waitForBytesWritten(kAnswerWaitMs);
    toFirst->disconnectFromServer();
}

bool SingleInstance::Listen(std::function<void()> showWindow) {
    onShowRequest = std::move(showWindow);
    // Only the lock's holder gets here: a socket left behind is a crashed copy's.
    const QString path = SocketPath(key);
    QLocalServer::removeServer(path);
    return server.listen(path);
}

void SingleInstance::OnNewConnection() {
    while (QLocalSocket* socket = server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == kShowRequest && onShowRequest) {
                    onShowRequest();
                }
            }
        });
        socket->write(kHello);
    }
}
