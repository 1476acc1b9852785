// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "link/driver/LibftdiFifo.h"

namespace {

bool FtdiDeviceAttached() {
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/sys/bus/usb/devices", error), end;
         !error && entry != end; entry.increment(error)) {
        std::ifstream file(entry->path() / "idVendor");
        std::string vendor;
        if (file >> vendor && vendor == "0403") {
            return true;
        }
    }
    return false;
}

TEST(LibftdiFifo, OpenWithoutAnFtdiDeviceFailsWithoutAHandle) {
    if (FtdiDeviceAttached()) {
        GTEST_SKIP() << "an FTDI device is attached to this machine";
    }
    LibftdiFifo fifo;
    FifoHandle handle = 9;
    EXPECT_EQ(fifo.Open(0, &handle), FifoStatusCode::DeviceNotFound);
    EXPECT_EQ(handle, 0u);

    // Nothing is open, so no handle is accepted.
    unsigned queued = 0;
    EXPECT_EQ(fifo.GetQueueStatus(1, &queued), FifoStatusCode::InvalidHandle);
    EXPECT_EQ(fifo.Close(1), FifoStatusCode::InvalidHandle);
}

}  // namespace
