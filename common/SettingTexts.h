// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>

#include "common/MeasureSettings.h"

// The items of the rate and channel boxes as the operator reads them, for every front end that
// offers the settings (the windows, the instrument's web page): an item's index is the
// setting's value.
namespace SettingTexts {

inline constexpr std::array<std::string_view, kRateCount> kRates = {"1.25sps",
                                                                    "2.5sps",
                                                                    "5sps",
                                                                    "10sps",
                                                                    "16.63sps/16.67sps",
                                                                    "20.01sps",
                                                                    "49.68sps/50sps",
                                                                    "59.52sps/59.98sps",
                                                                    "100.2sps",
                                                                    "200.3sps",
                                                                    "503.8sps/504sps",
                                                                    "1007sps/1008sps",
                                                                    "2597sps/2604sps",
                                                                    "5208sps",
                                                                    "10417sps",
                                                                    "15625sps",
                                                                    "31250sps"};
inline constexpr std::array<std::string_view, kChannelChoiceCount> kChannels = {
    "CH0 (Ain0-Ain1)", "CH1 (Ain2-Ain3)", "CH0 + CH1"};

}  // namespace SettingTexts
