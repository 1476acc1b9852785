// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/web/ControlAccess.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/PosixFile.h"
#include "common/SystemErrorText.h"

namespace {

// Compares in a time that does not tell how much of the password was right.
bool SameText(const std::string& a, const std::string& b) {
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i % std::max<std::size_t>(b.size(), 1)]);
    }
    return difference == 0 && !b.empty();
}

}  // namespace

std::optional<ControlAccess> ControlAccess::WithPasswordFile(const std::string& path,
                                                             std::string* error) {
    const std::string head = "パスワードファイル：" + path;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        *error = head + " を読めません（" + SystemErrorText(errno) + "）";
        if (fd >= 0) {
            ::close(fd);
        }
        return std::nullopt;
    }
    // Others who could read it could control the board.
    if (!S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
        (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::close(fd);
        *error = head + " は所有者だけが読めるようにしてください（chmod 600 " + path + "）";
        return std::nullopt;
    }
    std::string text(4096, '\0');
    const ssize_t got = ::read(fd, text.data(), text.size());
    ::close(fd);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    text = text.substr(0, text.find_first_of("\r\n"));
    if (text.empty()) {
        *error = head + " の 1 行目にパスワードがありません";
        return std::nullopt;
    }
    ControlAccess access;
    access.password = text;
    return access;
}

bool ControlAccess::Allows(const sockaddr* peer, const std::optional<std::string>& given) const {
    if (password) {
        return given && SameText(*given, *password);
    }
    return Loopback(peer);
}

ControlAccess::Note ControlAccess::NoteFor(const sockaddr* peer) const {
    if (password) {
        return {true, true, "測定開始・停止と設定の変更にはパスワードが必要です"};
    }
    if (Loopback(peer)) {
        return {true, false,
                "パスワードが設定されていないため、このページからの操作はこのコンピューターからだけ"
                "できます"};
    }
    return {false, false,
            "パスワードが設定されていないため、このページからの操作はサーバーのコンピューターからだ"
            "けできます（表示のみ）"};
}

bool ControlAccess::Loopback(const sockaddr* peer) {
    if (peer == nullptr) {
        return false;
    }
    if (peer->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(peer);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (peer->sa_family == AF_INET6) {
        const in6_addr& address = reinterpret_cast<const sockaddr_in6*>(peer)->sin6_addr;
        return IN6_IS_ADDR_LOOPBACK(&address) ||
               (IN6_IS_ADDR_V4MAPPED(&address) && address.s6_addr[12] == 127);
    }
    return false;
}
