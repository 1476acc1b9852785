// SPDX-License-Identifier: GPL-3.0-or-later
// Why the announcement failed, as the operator reads it on standard error.

#include <avahi-common/error.h>
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "serve/ServiceAnnouncement.h"

namespace {

// A word of two Latin letters or more, the names of the daemons aside.
bool HasEnglish(std::string text) {
    for (const std::string name : {"Avahi", "D-Bus"}) {
        for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name)) {
            text.erase(at, name.size());
        }
    }
    std::size_t letters = 0;
    for (const char c : text) {
        letters = std::isalpha(static_cast<unsigned char>(c)) != 0 ? letters + 1 : 0;
        if (letters >= 2) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(ServeAnnouncement, NoAvahiFailureIsSaidInEnglish) {
    ASSERT_TRUE(HasEnglish("Daemon not running"));
    for (int error = AVAHI_ERR_FAILURE; error >= AVAHI_ERR_MAX; --error) {
        const std::string reason = ServiceAnnouncement::ReasonText(error);
        EXPECT_FALSE(HasEnglish(reason)) << error << ": " << reason;
    }
}
