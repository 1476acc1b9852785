// SPDX-License-Identifier: GPL-3.0-or-later
// The publisher's way to a real mosquitto the test starts on 127.0.0.1: a broker's name with
// several addresses, the first of which refuses; the retries after a loss and the start's wait,
// against a listener of the test's own; and the reasons in the operator's Japanese.

#include <gtest/gtest.h>
#include <mosquitto.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cerrno>
#include <mutex>
#include <thread>

#include "publish/BrokerRoutes.h"
#include "publish/MqttPublisher.h"
#include "publish/MqttReason.h"
#include "tests/MosquittoSupport.h"

using namespace std::chrono_literals;

namespace {

// What Debian's /etc/hosts makes of `localhost`: ::1 first, where nothing listens here.
std::vector<BrokerRoutes::Address> LocalhostOfDebian(const std::string&) {
    return {{AF_INET6, "::1"}, {AF_INET, "127.0.0.1"}};
}

MqttPublisher::Settings BrokerAt(int port, BrokerRoutes::Resolver resolve) {
    MqttPublisher::Settings settings;
    std::string error;
    settings.address =
        *MqttAddress::Parse("mqtt://broker.test:" + std::to_string(port) + "/lab", error);
    settings.id = "routes";
    settings.resolve = std::move(resolve);
    return settings;
}

std::vector<BrokerRoutes::Address> Loopback(const std::string&) {
    return {{AF_INET, "127.0.0.1"}};
}

using Clock = std::chrono::steady_clock;

// When the next connections to `server` came, each login refused with its CONNACK return code
// of `codes`, in turn (15 s at most).
std::vector<Clock::time_point> RefuseLogins(QTcpServer& server, const std::vector<char>& codes) {
    std::vector<Clock::time_point> times;
    for (QDeadlineTimer deadline(15000); times.size() < codes.size() && !deadline.hasExpired();) {
        if (server.waitForNewConnection(50)) {
            QTcpSocket* client = server.nextPendingConnection();
            times.push_back(Clock::now());
            client->waitForReadyRead(1000);  // its CONNECT
            client->write(QByteArray("\x20\x02\x00", 3) + codes[times.size() - 1]);
            client->waitForBytesWritten(1000);
        }
    }
    return times;
}

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

bool Ascii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

TEST(PublishBroker, ANameWhoseFirstAddressRefusesReachesTheBrokerAtTheNext) {
    const QTemporaryDir dir;
    MosquittoBroker broker(dir.path());
    ASSERT_TRUE(broker.Start());
    Subscriber stats(broker.Port(), "lab/#");
    ASSERT_TRUE(stats.WaitReady());
    std::vector<std::string> notices;
    MqttPublisher publisher(BrokerAt(broker.Port(), LocalhostOfDebian),
                            [&notices](const std::string& text) { notices.push_back(text); });
    std::string reason;
    ASSERT_TRUE(publisher.Connect(-1, reason)) << reason;
    publisher.Start();
    IntervalFigures figures;
    figures.seq = 1;
    figures.n = 10;
    publisher.Publish(std::span(&figures, 1));
    EXPECT_EQ(publisher.Finish(5s), 0u);
    EXPECT_TRUE(stats.WaitFor("\"seq\":1", 5000));
    EXPECT_TRUE(notices.empty()) << notices.front();  // a refused address alone is no failure

    // Every address refuses: the start fails with the reason, not before the last was tried.
    const int closed = FreePort();
    MqttPublisher nowhere(BrokerAt(closed, LocalhostOfDebian), [](const std::string&) {});
    EXPECT_FALSE(nowhere.Connect(-1, reason));
    EXPECT_EQ(reason, MqttReason::System(ECONNREFUSED));
    MqttPublisher unknown(
        BrokerAt(closed, [](const std::string&) { return std::vector<BrokerRoutes::Address>{}; }),
        [](const std::string&) {});
    EXPECT_FALSE(unknown.Connect(-1, reason));
    EXPECT_EQ(reason, "ホスト名 broker.test が見つかりません");
}

// A plain connection goes to each address by its number; TLS keeps the broker's name, which
// its certificate must carry, and goes to one address family after the other.
TEST(PublishBroker, TlsKeepsTheBrokersNameForItsCertificate) {
    std::string error;
    const auto addresses = LocalhostOfDebian("localhost");
    const auto plain =
        BrokerRoutes::Of(*MqttAddress::Parse("mqtt://localhost/lab", error), addresses);
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(plain[0].host, "::1");
    EXPECT_EQ(plain[1].host, "127.0.0.1");
    const auto tls =
        BrokerRoutes::Of(*MqttAddress::Parse("mqtts://localhost/lab", error), addresses);
    ASSERT_EQ(tls.size(), 2u);
    for (const BrokerRoutes::Route& route : tls) {
        EXPECT_EQ(route.host, "localhost");
    }
    EXPECT_EQ(tls[0].bindAddress, "::");
    EXPECT_EQ(tls[1].bindAddress, "0.0.0.0");
    EXPECT_FALSE(BrokerRoutes::Resolve("localhost").empty());
}

// After a loss the broker is tried again after 1 s, then after twice as long each time (as the
// README promises), and each new reason of a failure is told once.
TEST(PublishBroker, AfterALossTheBrokerIsTriedAgainAfterOneTwoAndFourSeconds) {
    const QTemporaryDir dir;
    MosquittoBroker broker(dir.path());
    ASSERT_TRUE(broker.Start());
    std::mutex mutex;
    std::vector<std::string> notices;
    MqttPublisher publisher(BrokerAt(broker.Port(), Loopback), [&](const std::string& text) {
        const std::lock_guard lock(mutex);
        notices.push_back(text);
    });
    std::string reason;
    ASSERT_TRUE(publisher.Connect(-1, reason)) << reason;
    publisher.Start();
    broker.Stop();
    const Clock::time_point lost = Clock::now();
    QTcpServer refusing;
    ASSERT_TRUE(refusing.listen(QHostAddress::LocalHost, static_cast<quint16>(broker.Port())));
    const std::vector<Clock::time_point> at = RefuseLogins(refusing, {5, 5, 4});
    const auto told = [&] {
        const std::lock_guard lock(mutex);
        return notices.size();
    };
    for (int waits = 0; waits < 500 && told() < 3; ++waits) {
        std::this_thread::sleep_for(10ms);  // until the last refusal is read
    }
    publisher.Finish(0ms);
    ASSERT_EQ(at.size(), 3u);
    EXPECT_GE(Seconds(at[0] - lost), 0.5);
    EXPECT_LT(Seconds(at[0] - lost), 1.5);
    EXPECT_GE(Seconds(at[1] - at[0]), 2.0);
    EXPECT_LT(Seconds(at[1] - at[0]), 3.0);
    EXPECT_GE(Seconds(at[2] - at[1]), 4.0);
    EXPECT_LT(Seconds(at[2] - at[1]), 5.0);
    const std::string loss = MqttReason::Library(MOSQ_ERR_CONN_LOST, 0);
    EXPECT_EQ(notices, (std::vector<std::string>{
                           "MQTT：ブローカーとの接続が切れました（" + loss + "）。再接続します",
                           "MQTT：ブローカーに接続できません（" + MqttReason::Refusal(5) +
                               "）。再接続を続けます",
                           "MQTT：ブローカーに接続できません（" + MqttReason::Refusal(4) +
                               "）。再接続を続けます"}));
}

// A start whose broker takes the connection but never answers ends after 10 s with that
// reason, or at once when the operator stops it.
TEST(PublishBroker, AStartWithoutAnswerEndsAfterTenSecondsOrAtOnceWhenStopped) {
    QTcpServer silent;  // the system takes the connections; nobody answers them
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    int stop[2];
    ASSERT_EQ(::pipe(stop), 0);
    std::thread operatorStops([&stop] {
        std::this_thread::sleep_for(300ms);
        static_cast<void>(::write(stop[1], "x", 1));
    });
    std::string reason = "unchanged";
    const Clock::time_point begun = Clock::now();
    MqttPublisher stopped(BrokerAt(silent.serverPort(), Loopback), [](const std::string&) {});
    EXPECT_FALSE(stopped.Connect(stop[0], reason));
    EXPECT_LT(Clock::now() - begun, 2s);
    EXPECT_TRUE(reason.empty());
    operatorStops.join();
    ::close(stop[0]);
    ::close(stop[1]);

    const Clock::time_point again = Clock::now();
    MqttPublisher waiting(BrokerAt(silent.serverPort(), Loopback), [](const std::string&) {});
    EXPECT_FALSE(waiting.Connect(-1, reason));
    EXPECT_EQ(reason, MqttReason::System(ETIMEDOUT));
    EXPECT_GE(Clock::now() - again, MqttConnection::kConnectTimeout);
    EXPECT_LT(Clock::now() - again, MqttConnection::kConnectTimeout + 2s);
}

// libmosquitto's and the broker's answers never reach the operator in English.
TEST(PublishBroker, EveryReasonReadsInJapanese) {
    for (int rc = MOSQ_ERR_AUTH_CONTINUE; rc <= 40; ++rc) {
        if (rc != MOSQ_ERR_SUCCESS) {
            EXPECT_FALSE(Ascii(MqttReason::Library(rc, ECONNRESET))) << rc;
        }
    }
    for (int code = 1; code < 256; ++code) {
        EXPECT_FALSE(Ascii(MqttReason::Refusal(code))) << code;
    }
    EXPECT_FALSE(Ascii(MqttReason::System(EADDRNOTAVAIL)));
}

}  // namespace
