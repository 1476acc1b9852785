// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/driver/FtdiDeviceList.h"

#include <ftdi.h>

#include <memory>
#include <optional>

namespace {

// USB string descriptors hold at most 126 characters.
constexpr int kStringSize = 128;
constexpr const char* kUnreadable = "?";

enum class Text { Serial, Description };

// One string of the chip's descriptor, opening the chip briefly; empty when it has none,
// nothing when the chip cannot be opened (no permission) or read.
std::optional<std::string> ReadText(ftdi_context* ftdi, libusb_device* device, Text which) {
    char text[kStringSize] = {};
    char* const serial = which == Text::Serial ? text : nullptr;
    char* const description = which == Text::Description ? text : nullptr;
    const int result =
        ftdi_usb_get_strings(ftdi, device, nullptr, 0, description, description ? kStringSize : 0,
                             serial, serial ? kStringSize : 0);
    if (result != 0) {
        return std::nullopt;
    }
    return std::string(text);
}

}  // namespace

FtdiDeviceList::FtdiDeviceList(ftdi_context* context) : ftdi(context) {
    // Vendor and product 0 list the chips with FTDI's own ids.
    fFailed = ftdi_usb_find_all(ftdi, &devices, 0, 0) < 0;
}

FtdiDeviceList::~FtdiDeviceList() {
    ftdi_list_free(&devices);
}

libusb_device* FtdiDeviceList::Find(const FtdiChoice& choice, int deviceNumber) const {
    if (deviceNumber < 0 || (!choice.serial.empty() && deviceNumber != 0)) {
        return nullptr;
    }
    const long long wanted = static_cast<long long>(choice.index) + deviceNumber;
    long long i = 0;
    for (const ftdi_device_list* entry = devices; entry != nullptr; entry = entry->next, ++i) {
        const bool fChosen = choice.serial.empty()
                                 ? i == wanted
                                 : ReadText(ftdi, entry->dev, Text::Serial) == choice.serial;
        if (fChosen) {
            return entry->dev;
        }
    }
    return nullptr;
}

std::vector<FtdiDeviceList::Entry> FtdiDeviceList::Describe() const {
    std::vector<Entry> entries;
    for (const ftdi_device_list* entry = devices; entry != nullptr; entry = entry->next) {
        entries.push_back({static_cast<int>(entries.size()),
                           ReadText(ftdi, entry->dev, Text::Serial).value_or(kUnreadable),
                           ReadText(ftdi, entry->dev, Text::Description).value_or(kUnreadable)});
    }
    return entries;
}

bool FtdiDeviceList::DescribeAll(std::vector<Entry>* entries) {
    // Without a usable USB stack there is nothing to list.
    const std::unique_ptr<ftdi_context, decltype(&ftdi_free)> ftdi(ftdi_new(), ftdi_free);
    if (!ftdi) {
        return false;
    }
    const FtdiDeviceList list(ftdi.get());
    if (list.Failed()) {
        return false;
    }
    *entries = list.Describe();
    return true;
}
