// SPDX-License-Identifier: GPL-3.0-or-later
// The publisher's way to a real mosquitto the test starts on 127.0.0.1: a broker's name with
// several addresses, the first of which refuses; and its reasons in the operator's Japanese.

#include <gtest/gtest.h>
#include <mosquitto.h>
#include <sys/socket.h>

#include <QTemporaryDir>
#include <cerrno>

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
