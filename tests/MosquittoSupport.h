// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A real mosquitto broker and mosquitto_sub for the monitor's tests: the broker listens on
// 127.0.0.1 on a free port with a configuration the test writes, and is stopped by its process.

#include <pwd.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

inline int FreePort() {
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

class MosquittoBroker {
public:
    // `extra`: further configuration lines (TLS, passwords, persistence).
    MosquittoBroker(const QString& folder, const QString& extra = {})
        : config(folder + "/mosquitto.conf"), port(FreePort()) {
        QFile file(config);
        if (file.open(QIODevice::WriteOnly)) {
            // Started as root, mosquitto would become the user "mosquitto", who cannot enter
            // the test's folder.
            file.write(QStringLiteral("listener %1 127.0.0.1\nuser %2\n%3\n")
                           .arg(port)
                           .arg(QString::fromLocal8Bit(getpwuid(getuid())->pw_name))
                           .arg(extra.isEmpty() ? QStringLiteral("allow_anonymous true") : extra)
                           .toUtf8());
        }
        process.setProcessChannelMode(QProcess::MergedChannels);
    }
    ~MosquittoBroker() { Stop(); }

    // Started and accepting connections.
    bool Start() {
        process.start("mosquitto", {"-c", config});
        if (!process.waitForStarted(5000)) {
            return false;
        }
        for (QDeadlineTimer deadline(5000); !deadline.hasExpired(); QThread::msleep(20)) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
            if (probe.waitForConnected(200)) {
                return true;
            }
        }
        return false;
    }
    // SIGTERM to the broker's process, as a service manager stops it.
    void Stop() {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            process.waitForFinished(5000);
        }
    }
    int Port() const { return port; }
    QString Url(const QString& scheme = "mqtt", const QString& host = "127.0.0.1") const {
        return scheme + "://" + host + ':' + QString::number(port) + "/lab";
    }

private:
    QString config;
    int port;
    QProcess process;
};

// mosquitto_sub on `topic` at QoS 1, each message as "RETAINED TOPIC PAYLOAD". `login`: TLS and
// user options for it and its probe; `session`: options for the subscriber alone.
class Subscriber {
public:
    Subscriber(int port, const QString& topic, const QStringList& login = {},
               const QStringList& session = {})
        : connection(QStringList{"-h", "127.0.0.1", "-p", QString::number(port)} + login) {
        process.start("mosquitto_sub",
                      connection + QStringList{"-t", topic, "-q", "1", "-F", "%r %t %p"} + session);
        process.waitForStarted(5000);
    }
    ~Subscriber() {
        process.kill();
        process.waitForFinished(5000);
    }

    // Subscribed: a probe published below lab/ comes back (at most 5 s).
    bool WaitReady() {
        for (QDeadlineTimer deadline(5000); !deadline.hasExpired();) {
            QProcess::execute("mosquitto_pub",
                              connection + QStringList{"-t", "lab/probe", "-m", "probe"});
            if (WaitFor("lab/probe", 200)) {
                return true;
            }
        }
        return false;
    }
    // Waits until a line holds `text`.
    bool WaitFor(const QString& text, int timeoutMs) {
        for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired();) {
            Read();
            if (std::any_of(lines.begin(), lines.end(),
                            [&text](const QString& line) { return line.contains(text); })) {
                return true;
            }
            process.waitForReadyRead(50);
        }
        return false;
    }
    // Waits until `count` lines hold `text`.
    bool WaitForCount(const QString& text, qsizetype count, int timeoutMs) {
        for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired();) {
            if (Lines().filter(text).size() >= count) {
                return true;
            }
            process.waitForReadyRead(50);
        }
        return Lines().filter(text).size() >= count;
    }
    // Every line so far but the probes.
    QStringList Lines() {
        Read();
        QStringList kept;
        for (const QString& line : lines) {
            if (!line.contains("lab/probe")) {
                kept << line;
            }
        }
        return kept;
    }

private:
    void Read() {
        pending += QString::fromUtf8(process.readAllStandardOutput());
        const qsizetype end = pending.lastIndexOf('\n');
        if (end >= 0) {
            lines += pending.left(end).split('\n', Qt::SkipEmptyParts);
            pending.remove(0, end + 1);
        }
    }

    QStringList connection;
    QProcess process;
    QString pending;
    QStringList lines;
};
