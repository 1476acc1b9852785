// SPDX-License-Identifier: GPL-3.0-or-later
// Why the announcement failed, as the operator reads it on standard error.

#include <avahi-common/error.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "serve/ServiceAnnouncement.h"

TEST(ServeAnnouncement, NoAvahiFailureIsSaidInEnglish) {
    const std::regex english("[A-Za-z]{2,}");
    for (int error = AVAHI_ERR_FAILURE; error >= AVAHI_ERR_MAX; --error) {
        const std::string reason = ServiceAnnouncement::ReasonText(error);
        const std::string words = std::regex_replace(reason, std::regex("Avahi|D-Bus"), "");
        EXPECT_FALSE(std::regex_search(words, english)) << error << ": " << reason;
    }
}
