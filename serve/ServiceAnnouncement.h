// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The instrument announced on the local network by mDNS/DNS-SD through the Avahi daemon, as
// _scpi-raw._tcp, for as long as the object lives, so that discovery tools find it. Avahi's
// client runs on a thread of its own library; the server's loop never waits for it.
class ServiceAnnouncement {
public:
    struct Service {
        std::string name;  // "SELKORAN <serial>"
        std::uint16_t port = 0;
        std::vector<std::string> txt;  // "Manufacturer=SELKORAN", ...

        // The instrument as discovery tools list it.
        static Service Instrument(const std::string& serial, const std::string& version,
                                  std::uint16_t port);
    };

    ServiceAnnouncement();
    ~ServiceAnnouncement();
    ServiceAnnouncement(const ServiceAnnouncement&) = delete;
    ServiceAnnouncement& operator=(const ServiceAnnouncement&) = delete;

    // Announces as soon as the Avahi daemon runs, and again after it has restarted; one line on
    // standard error while it does not run. False, with one line, when the system's message
    // bus cannot be reached at all; the server then serves unannounced.
    bool Start(Service service);
    // Why Avahi failed, in the operator's words ("Avahi のデーモンが動いていません"); its number
    // where the cause is a rare one.
    static std::string ReasonText(int avahiError);

private:
    struct Avahi;
    std::unique_ptr<Avahi> avahi;
};
