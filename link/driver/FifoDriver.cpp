// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/driver/FifoDriver.h"

FifoReadiness FifoDriver::Readiness(FifoHandle) {
    return {};
}

FifoStatus FifoDriver::TakeReadiness(FifoHandle) {
    return FifoStatusCode::Ok;
}

std::string FifoDriver::SerialNumber(FifoHandle) {
    return {};
}
