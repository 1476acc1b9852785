// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include "common/SettingTexts.h"

// The items of the rate and channel boxes, shared by the main window and the recording window:
// an item's index is the setting's value.
namespace SettingItems {

template <std::size_t N>
QStringList Items(const std::array<std::string_view, N>& texts) {
    QStringList items;
    for (const std::string_view text : texts) {
        items << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    return items;
}

inline const QStringList kRates = Items(SettingTexts::kRates);
inline const QStringList kChannels = Items(SettingTexts::kChannels);

}  // namespace SettingItems
