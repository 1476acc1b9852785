// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

struct ftdi_context;
struct ftdi_device_list;
struct libusb_device;

// Which FTDI chip a driver opens as its device 0: the `index`-th on the USB buses (counting
// from 0), or, when `serial` is not empty, the one with that USB serial number.
struct FtdiChoice {
    int index = 0;
    std::string serial;
};

// The FTDI chips on the USB buses (FTDI's vendor id, any of its products) in libusb's order,
// the order that chip indexes count in. Holds a reference on each chip while it lives.
class FtdiDeviceList {
public:
    // One chip as the operator tells it apart. A text that could not be read is "?".
    struct Entry {
        int index = 0;
        std::string serial;
        std::string description;
    };

    // Lists the chips `ftdi` can reach; `ftdi` must have no chip open.
    explicit FtdiDeviceList(ftdi_context* ftdi);
    ~FtdiDeviceList();
    FtdiDeviceList(const FtdiDeviceList&) = delete;
    FtdiDeviceList& operator=(const FtdiDeviceList&) = delete;

    // True when the USB buses could not be searched.
    bool Failed() const { return fFailed; }
    // Device `deviceNumber` counted from the chosen chip (only 0 when choosing by serial
    // number), or null when there is no such chip.
    libusb_device* Find(const FtdiChoice& choice, int deviceNumber) const;
    std::vector<Entry> Describe() const;

    // Every chip of this machine; false when the USB buses cannot be searched.
    static bool DescribeAll(std::vector<Entry>* entries);

private:
    ftdi_context* ftdi;
    ftdi_device_list* devices = nullptr;
    bool fFailed = false;
};
