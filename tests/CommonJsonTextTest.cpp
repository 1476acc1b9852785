// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/JsonText.h"

// Board names (--id), units (CALC:SCAL:UNIT) and host names are the operator's text: whatever
// they hold, the monitor's messages must stay JSON and the page must stay HTML.
TEST(CommonJsonText, OperatorsTextStaysJsonAndHtml) {
    const std::string text = "a\"b\\c\n\x01<&>";
    EXPECT_EQ(JsonText::Quoted(text), "\"a\\\"b\\\\c\\u000a\\u0001<&>\"");
    EXPECT_EQ(JsonText::Quoted("°C"), "\"°C\"");  // UTF-8 passes as it is
    EXPECT_EQ(JsonText::Html(text), "a&quot;b\\c\n\x01&lt;&amp;&gt;");
}

TEST(CommonJsonText, NumbersReadBackAsTheSameDouble) {
    for (const double value : {0.1, -1250000.7450581484, 5e-324, 1.7976931348623157e308}) {
        const std::string text = JsonText::Number(value);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    }
    EXPECT_EQ(JsonText::Number(0.1), "0.1");  // the shortest text, not 17 digits
}
