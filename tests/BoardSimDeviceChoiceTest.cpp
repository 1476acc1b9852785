// SPDX-License-Identifier: GPL-3.0-or-later
// The device text of the command line names the driver.

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "link/driver/DeviceChoice.h"
#include "link/driver/LibftdiFifo.h"
#include "link/driver/SimulatedFifo.h"
#include "link/driver/TtyFifo.h"

namespace {

enum class Kind { None, Usb, Sim, Tty };

Kind KindOf(const FifoDriver* driver) {
    if (driver == nullptr) {
        return Kind::None;
    }
    if (dynamic_cast<const LibftdiFifo*>(driver) != nullptr) {
        return Kind::Usb;
    }
    if (dynamic_cast<const SimulatedFifo*>(driver) != nullptr) {
        return Kind::Sim;
    }
    return dynamic_cast<const TtyFifo*>(driver) != nullptr ? Kind::Tty : Kind::None;
}

TEST(BoardSimDeviceChoice, NamesTheDriver) {
    const std::pair<std::string, Kind> cases[] = {
        {"", Kind::Usb},
        {"usb:0", Kind::Usb},
        {"sim", Kind::Sim},
        {"sim:", Kind::Sim},
        {"sim:seed=7", Kind::Sim},
        {"sim:seed=7,ng=S5,delay=20", Kind::Sim},
        {"tty:/dev/ttyUSB0", Kind::Tty},
        {"tty:/dev/pts/3", Kind::Tty},
        {"usb:1", Kind::Usb},
        {"usb:serial=SELKA001", Kind::Usb},
        {"usb", Kind::None},
        {"usb:", Kind::None},
        {"usb:-1", Kind::None},
        {"usb:1000", Kind::None},
        {"usb:1x", Kind::None},
        {"usb:serial=", Kind::None},
        {"usb:list", Kind::None},
        {"tty:", Kind::None},
        {"sim:seed=x", Kind::None},
        {"sim:colour=red", Kind::None},
        {"simulator", Kind::None},
        {"SIM", Kind::None},
        {"/dev/ttyUSB0", Kind::None},
    };
    for (const auto& [text, kind] : cases) {
        std::string error;
        const auto driver = ChooseDevice(text, &error);
        EXPECT_EQ(KindOf(driver.get()), kind) << text;
        EXPECT_EQ(error.empty(), kind != Kind::None) << text << ": " << error;
    }
}

// A number chooses by position on the bus, anything after "serial=" by serial number, even
// when it looks like a number.
TEST(BoardSimDeviceChoice, UsbTextChoosesTheChip) {
    const std::tuple<std::string, int, std::string> cases[] = {
        {"", 0, ""},
        {"usb:12", 12, ""},
        {"usb:serial=SELKA001", 0, "SELKA001"},
        {"usb:serial=12", 0, "12"},
    };
    for (const auto& [text, index, serial] : cases) {
        std::string error;
        const auto driver = ChooseDevice(text, &error);
        const auto* usb = dynamic_cast<const LibftdiFifo*>(driver.get());
        ASSERT_NE(usb, nullptr) << text;
        EXPECT_EQ(usb->Choice().index, index) << text;
        EXPECT_EQ(usb->Choice().serial, serial) << text;
    }
}

TEST(BoardSimDeviceChoice, SimulatorTakesItsOptions) {
    std::string error;
    auto driver = ChooseDevice("sim:name=OTHER,seed=9", &error);
    auto* simulated = dynamic_cast<SimulatedFifo*>(driver.get());
    ASSERT_NE(simulated, nullptr) << error;
    EXPECT_EQ(simulated->Board().Options().name, "OTHER");
    EXPECT_EQ(simulated->Board().Options().seed, 9u);
}

}  // namespace
