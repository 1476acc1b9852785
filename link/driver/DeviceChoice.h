#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "FifoDriver.h"

// The driver named by the device text of the command line:
//   "" or "usb:0"          the board through libftdi, device 0
//   "sim" or "sim:k=v,..." the simulated board, with the simulator's options
//   "tty:PATH"             a serial device node or pseudo-terminal
// Anything else gives nullptr and a reason in `error`.
std::unique_ptr<FifoDriver> ChooseDevice(std::string_view text, std::string* error);
