// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The server's lines on standard error, for whoever watches it or a service's journal, each
// whole in one write. The lines about each connection (opened, closed, a hardware error) are
// left out when quiet; the others are always said.
class ServerLog {
public:
    explicit ServerLog(bool fQuietConnections = false) : fQuiet(fQuietConnections) {}

    // Where the server listens, a refused peer, the announcement.
    static void Say(const std::string& line);
    // A line about one connection.
    void SayAboutConnection(const std::string& line) const;

private:
    bool fQuiet;
};
