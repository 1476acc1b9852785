// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/MqttAddress.h"

#include <charconv>

namespace {

// A topic level holds no wildcard and no NUL; levels are not empty.
bool ValidPrefix(std::string_view prefix) {
    return !prefix.empty() && prefix.find_first_of(std::string_view("+#\0", 3)) == prefix.npos &&
           !prefix.starts_with('/') && !prefix.ends_with('/') && prefix.find("//") == prefix.npos;
}

bool ParsePort(std::string_view text, int& port) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    return ec == std::errc{} && end == text.data() + text.size() && port >= 1 && port <= 65535;
}

// HOST[:PORT], with an IPv6 host in brackets.
bool ParseAuthority(std::string_view authority, MqttAddress& address) {
    std::string_view host = authority;
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == authority.npos) {
            return false;
        }
        host = authority.substr(1, close - 1);
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return false;
        }
        port = rest.empty() ? rest : rest.substr(1);
        if (!rest.empty() && port.empty()) {
            return false;
        }
    } else if (const auto colon = authority.rfind(':'); colon != authority.npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        if (port.empty()) {
            return false;
        }
    }
    if (host.empty() || host.find_first_of("/@ ") != host.npos) {
        return false;
    }
    address.host = host;
    return port.empty() || ParsePort(port, address.port);
}

}  // namespace

std::optional<MqttAddress> MqttAddress::Parse(std::string_view url, std::string& error) {
    MqttAddress address;
    if (url.starts_with("mqtts://")) {
        address.fTls = true;
        address.port = kTlsPort;
        url.remove_prefix(8);
    } else if (url.starts_with("mqtt://")) {
        url.remove_prefix(7);
    } else {
        error = "mqtt:// か mqtts:// で始めてください";
        return std::nullopt;
    }
    const auto slash = url.find('/');
    if (!ParseAuthority(url.substr(0, slash), address)) {
        error = "ホスト名かポート番号が正しくありません";
        return std::nullopt;
    }
    address.prefix = slash == url.npos ? std::string_view() : url.substr(slash + 1);
    if (address.prefix.empty()) {
        error = "トピックの接頭辞がありません";
        return std::nullopt;
    }
    if (!ValidPrefix(address.prefix)) {
        error = "トピックの接頭辞が正しくありません（+ や #、空の階層は使えません）";
        return std::nullopt;
    }
    return address;
}

std::string MqttAddress::HostAndPort() const {
    const bool fBrackets = host.find(':') != host.npos;
    return (fBrackets ? '[' + host + ']' : host) + ':' + std::to_string(port);
}
