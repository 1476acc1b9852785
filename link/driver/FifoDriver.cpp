#include "FifoDriver.h"

FifoReadiness FifoDriver::Readiness(FifoHandle) {
    return {};
}

FifoStatus FifoDriver::TakeReadiness(FifoHandle) {
    return FifoStatusCode::Ok;
}
