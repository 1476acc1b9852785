// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <charconv>
#include <string>

// A number in the fixed-point patterns "0", "0.0", "0.00", ...: exactly `decimals` digits
// after a "." whatever the locale, a leading "-" for negative values, no digit grouping.
// A negative value that rounds to zero reads as plain zero ("0.00", not "-0.00"), so an axis
// or a read-out never shows a signed zero.
inline std::string FixedText(double value, int decimals) {
    decimals = std::max(decimals, 0);
    // Room for the 309 integer digits of the largest double, the sign, the point and decimals.
    std::string text(static_cast<std::size_t>(320 + decimals), '\0');
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::fixed, decimals);
    text.resize(static_cast<std::size_t>(result.ptr - text.data()));
    if (!text.empty() && text.front() == '-' &&
        text.find_first_not_of("0.", 1) == std::string::npos) {
        text.erase(0, 1);
    }
    return text;
}
