// SPDX-License-Identifier: GPL-3.0-or-later
// The saved setups' text: every setting comes back as it was, and a file that is not a whole,
// sound setup is refused rather than half taken.

#include <gtest/gtest.h>

#include <string>

#include "serve/ScpiSetupStore.h"

namespace {

ScpiSetup Unusual() {
    ScpiSetup setup;
    setup.run.settings.spsSel = 3;
    setup.run.settings.fSinc5 = false;
    setup.run.settings.CHSel = 2;
    setup.run.count = 12345;
    setup.fBusTrigger = true;
    setup.aperture = {0.02, 60};
    setup.math[0].null = {true, -2.5};
    setup.math[0].limit = {true, -1e-7, 0.1 + 0.2};  // 0.30000000000000004 comes back whole
    setup.math[1].scale = {true, -1e15, 1.0 / 3.0, "°C,=x"};
    return setup;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(ScpiSetupStore, EverySettingComesBackExactly) {
    const ScpiSetup setup = Unusual();
    const std::optional<ScpiSetup> read = ScpiSetupStore::Parse(ScpiSetupStore::Text(setup));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->run.settings.spsSel, 3);
    EXPECT_FALSE(read->run.settings.fSinc5);
    EXPECT_EQ(read->run.settings.CHSel, 2);
    EXPECT_EQ(read->run.count, 12345);
    EXPECT_TRUE(read->fBusTrigger);
    EXPECT_EQ(read->aperture, setup.aperture);
    EXPECT_EQ(read->math, setup.math);
}

TEST(ScpiSetupStore, ATextThatIsNoWholeSoundSetupIsRefused) {
    const std::string text = ScpiSetupStore::Text(Unusual());
    const std::string refused[] = {
        "",
        text.substr(0, text.size() - 1),          // cut inside its last line
        text.substr(0, text.rfind("ch1.limit")),  // a line missing
        text + "rate=3\n",                        // a line twice
        Replaced(text, "count=12345", "count=0"),
        Replaced(text, "count=12345", "count=1048576"),  // more than a run holds
        Replaced(text, "line=60", "line=55"),
        Replaced(text, "nplc=0.02", "nplc=0.01"),
        Replaced(text, "nplc=0.02", "nplc=nan"),
        Replaced(text, "ch0.null=1,-2.5", "ch0.null=1,-2.6"),  // beyond the board's range
        Replaced(text, "ch0.null=1,", "ch0.null=2,"),
        Replaced(text, "ch1.scale=1,-1e+15", "ch1.scale=1,-1e+16"),
        Replaced(text, "filter=sinc3", "filter=sinc4"),
        Replaced(text, "ch1.unit=°C,=x", "ch1.unit=°C\tx"),
        Replaced(text, "ch1.unit=°C,=x", "ch1.unit=12345678901234567"),
    };
    for (const std::string& bad : refused) {
        EXPECT_FALSE(ScpiSetupStore::Parse(bad)) << bad;
    }
    // Sixteen characters, not bytes, make the longest unit.
    EXPECT_TRUE(
        ScpiSetupStore::Parse(Replaced(text, "ch1.unit=°C,=x", "ch1.unit=°°°°°°°°°°°°°°°°")));
}

}  // namespace
