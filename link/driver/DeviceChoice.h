// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "link/driver/FifoDriver.h"

// The device text that asks for the list of FTDI chips instead of a board.
inline constexpr std::string_view kUsbListText = "usb:list";

// The driver named by the device text of the command line:
//   "" or "usb:N"          the board through libftdi, on the N-th FTDI chip (from 0)
//   "usb:serial=TEXT"      the board through libftdi, on the chip with that serial number
//   "sim" or "sim:k=v,..." the simulated board, with the simulator's options
//   "tty:PATH"             a serial device node or pseudo-terminal
// Anything else gives nullptr and a reason in `error`.
std::unique_ptr<FifoDriver> ChooseDevice(std::string_view text, std::string* error);
