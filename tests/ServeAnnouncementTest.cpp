// SPDX-License-Identifier: GPL-3.0-or-later
// Why the announcement failed, as the operator reads it on standard error.

#include <avahi-common/error.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "serve/ServiceAnnouncement.h"

namespace {

TEST(ServeAnnouncement, EveryAvahiFailureIsSaidInJapaneseWithoutAvahisEnglish) {
    // Latin words other than the names Avahi and D-Bus.
    const std::regex english("[A-Za-z]{2,}");
    for (int error = AVAHI_ERR_FAILURE; error >= AVAHI_ERR_MAX; --error) {
        std::string reason = ServiceAnnouncement::ReasonText(error);
        for (const char* name : {"Avahi", "D-Bus"}) {
            for (auto at = reason.find(name); at != std::string::npos; at = reason.find(name)) {
                reason.erase(at, std::string(name).size());
            }
        }
        EXPECT_FALSE(std::regex_search(reason, english))
            << error << ": " << ServiceAnnouncement::ReasonText(error);
    }
    const std::string rare = ServiceAnnouncement::ReasonText(AVAHI_ERR_DNS_NOTZONE);
    EXPECT_NE(rare.find(std::to_string(AVAHI_ERR_DNS_NOTZONE)), std::string::npos)
        << "a rare cause is named by its number: " << rare;
}

}  // namespace
