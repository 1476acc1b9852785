// SPDX-License-Identifier: GPL-3.0-or-later
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <fstream>

#include "serve/web/ControlAccess.h"

namespace {

sockaddr_storage Peer(const char* text) {
    sockaddr_storage peer{};
    if (inet_pton(AF_INET, text, &reinterpret_cast<sockaddr_in*>(&peer)->sin_addr) == 1) {
        peer.ss_family = AF_INET;
    } else {
        EXPECT_EQ(inet_pton(AF_INET6, text, &reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr), 1);
        peer.ss_family = AF_INET6;
    }
    return peer;
}

const sockaddr* As(const sockaddr_storage& peer) {
    return reinterpret_cast<const sockaddr*>(&peer);
}

class WebControlAccess : public ::testing::Test {
protected:
    std::string File(const std::string& text, mode_t mode) {
        const std::string path = folder.filePath("password").toStdString();
        std::ofstream(path, std::ios::trunc) << text;
        ::chmod(path.c_str(), mode);
        return path;
    }

    QTemporaryDir folder;
    std::string error;
};

// Without a password only this machine controls: IPv4's whole 127/8, ::1 and IPv4 loopback
// mapped into IPv6 (a dual-stack listener sees it so); the network only watches.
TEST_F(WebControlAccess, WithoutPasswordOnlyLoopbackControls) {
    const ControlAccess open;
    for (const char* local : {"127.0.0.1", "127.3.2.1", "::1", "::ffff:127.0.0.1"}) {
        const sockaddr_storage peer = Peer(local);
        EXPECT_TRUE(open.Allows(As(peer), std::nullopt)) << local;
        EXPECT_TRUE(open.NoteFor(As(peer)).fAllowed) << local;
    }
    for (const char* remote : {"192.168.10.7", "128.0.0.1", "fd00::7", "::ffff:10.1.2.3", "::"}) {
        const sockaddr_storage peer = Peer(remote);
        EXPECT_FALSE(open.Allows(As(peer), std::string("anything"))) << remote;
        const ControlAccess::Note note = open.NoteFor(As(peer));
        EXPECT_FALSE(note.fAllowed) << remote;
        EXPECT_NE(note.text.find("（表示のみ）"), std::string::npos) << note.text;
    }
    EXPECT_FALSE(open.Allows(nullptr, std::nullopt));
}

// A password file others may read, an empty one or none at all is refused at the start with
// the reason; the first line is the password, from any peer, and nothing near it passes.
TEST_F(WebControlAccess, PasswordFileIsCheckedAndItsFirstLineAlonePasses) {
    const std::string path = File("kanri-2026\r\nsecond line\n", 0644);
    EXPECT_FALSE(ControlAccess::WithPasswordFile(path, &error));
    EXPECT_EQ(error, "パスワードファイル：" + path +
                         " は所有者だけが読めるようにしてください（chmod 600 " + path + "）");
    ::chmod(path.c_str(), 0640);
    EXPECT_FALSE(ControlAccess::WithPasswordFile(path, &error));
    ::chmod(path.c_str(), 0600);
    const std::optional<ControlAccess> access = ControlAccess::WithPasswordFile(path, &error);
    ASSERT_TRUE(access) << error;
    EXPECT_TRUE(access->NeedsPassword());
    const sockaddr_storage remote = Peer("192.168.10.7");
    const sockaddr_storage local = Peer("127.0.0.1");
    EXPECT_TRUE(access->Allows(As(remote), std::string("kanri-2026")));
    for (const char* wrong : {"", "kanri-202", "kanri-20266", "kanri-2026\r", "Kanri-2026"}) {
        EXPECT_FALSE(access->Allows(As(remote), std::string(wrong))) << wrong;
    }
    EXPECT_FALSE(access->Allows(As(local), std::nullopt)) << "loopback needs it too";
    EXPECT_TRUE(access->NoteFor(As(remote)).fPassword);

    EXPECT_FALSE(ControlAccess::WithPasswordFile(File("\nkanri\n", 0600), &error));
    EXPECT_NE(error.find("の 1 行目にパスワードがありません"), std::string::npos) << error;
    const std::string missing = folder.filePath("none").toStdString();
    EXPECT_FALSE(ControlAccess::WithPasswordFile(missing, &error));
    EXPECT_EQ(error.rfind("パスワードファイル：" + missing + " を読めません（", 0), 0u) << error;
}

}  // namespace
