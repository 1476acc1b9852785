// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/driver/DeviceChoice.h"

#include "link/driver/LibftdiFifo.h"
#include "link/driver/SimulatedFifo.h"
#include "link/driver/TtyFifo.h"

#include <charconv>
#include <optional>
#include <utility>

namespace {

constexpr std::string_view kUsbPrefix = "usb:";
constexpr std::string_view kSerialKey = "serial=";
constexpr std::string_view kSimPrefix = "sim:";
constexpr std::string_view kTtyPrefix = "tty:";
// More chips than any desk holds; the bound keeps the index arithmetic small.
constexpr int kMaxUsbIndex = 999;

// "N" or "serial=TEXT", the part after "usb:".
std::optional<FtdiChoice> ParseUsbChoice(std::string_view text) {
    if (text.starts_with(kSerialKey) && text.size() > kSerialKey.size()) {
        return FtdiChoice{0, std::string(text.substr(kSerialKey.size()))};
    }
    int index = -1;
    const char* const end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, index);
    if (text.empty() || error != std::errc{} || last != end || index < 0 || index > kMaxUsbIndex) {
        return std::nullopt;
    }
    return FtdiChoice{index, {}};
}

}  // namespace

std::unique_ptr<FifoDriver> ChooseDevice(std::string_view text, std::string* error) {
    if (text.empty()) {
        return std::make_unique<LibftdiFifo>();
    }
    if (text.starts_with(kUsbPrefix)) {
        if (auto choice = ParseUsbChoice(text.substr(kUsbPrefix.size()))) {
            return std::make_unique<LibftdiFifo>(std::move(*choice));
        }
    }
    if (text == "sim" || text.starts_with(kSimPrefix)) {
        BoardOptions options;
        const auto list = text == "sim" ? std::string_view{} : text.substr(kSimPrefix.size());
        if (!BoardOptions::Parse(list, &options, error)) {
            return nullptr;
        }
        return std::make_unique<SimulatedFifo>(std::move(options));
    }
    if (text.starts_with(kTtyPrefix) && text.size() > kTtyPrefix.size()) {
        return std::make_unique<TtyFifo>(std::string(text.substr(kTtyPrefix.size())));
    }
    *error = "デバイスの指定が正しくありません: " + std::string(text) +
             "（usb:番号、usb:serial=シリアル番号、sim、sim:キー=値,...、tty:パス のいずれか）";
    return nullptr;
}
