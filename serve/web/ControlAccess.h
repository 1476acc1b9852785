// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/socket.h>

#include <optional>
#include <string>

// Who may start, stop and set the board from a page. With a password file, anyone the allow
// list lets in who gives its password (HTTP basic authentication, any user name); without
// one, only a browser on this machine (loopback).
class ControlAccess {
public:
    // What the page says about it, for the peer it is shown to.
    struct Note {
        bool fAllowed = false;
        bool fPassword = false;
        std::string text;
    };

    ControlAccess() = default;
    // The password of the file's first line; nothing, with the reason in `error`, when the
    // file cannot be read, is empty, or may be read by others than its owner.
    static std::optional<ControlAccess> WithPasswordFile(const std::string& path,
                                                         std::string* error);

    bool NeedsPassword() const { return password.has_value(); }
    // `given` is the password the request came with (none without one).
    bool Allows(const sockaddr* peer, const std::optional<std::string>& given) const;
    Note NoteFor(const sockaddr* peer) const;
    static bool Loopback(const sockaddr* peer);

private:
    std::optional<std::string> password;
};
