#include "SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr int kAnswerWaitMs = 2000;
const QByteArray kShowRequest = "show\n";
const QByteArray kHello = "SELKORAN\n";

}  // namespace

SingleInstance::SingleInstance(QString instanceKey)
    : key(std::move(instanceKey)), lockFile(LockFilePath(key)) {
    server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::LockFilePath(const QString& key) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return QDir(folder).filePath(key + ".lock");
}

bool SingleInstance::TryLock() {
    // A lock whose owner no longer runs is stale and taken over at once.
    return lockFile.tryLock(0);
}

bool SingleInstance::ConnectToFirst() {
    toFirst = std::make_unique<QLocalSocket>();
    toFirst->setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    toFirst->connectToServer(key);
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
    return server.listen(key);
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
