// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/driver/FifoDriver.h"

// A driver that hands every call to another one; a test overrides only the calls it watches.
class ForwardingFifo : public FifoDriver {
public:
    FifoStatus Open(int n, FifoHandle* h) override { return Inner().Open(n, h); }
    FifoStatus SetUSBParameters(FifoHandle h, unsigned rx, unsigned tx) override {
        return Inner().SetUSBParameters(h, rx, tx);
    }
    FifoStatus Purge(FifoHandle h, unsigned mask) override { return Inner().Purge(h, mask); }
    FifoStatus Close(FifoHandle h) override { return Inner().Close(h); }
    FifoStatus GetQueueStatus(FifoHandle h, unsigned* n) override {
        return Inner().GetQueueStatus(h, n);
    }
    FifoStatus Read(FifoHandle h, void* b, unsigned n, unsigned* got) override {
        return Inner().Read(h, b, n, got);
    }
    FifoStatus Write(FifoHandle h, const void* b, unsigned n, unsigned* written) override {
        return Inner().Write(h, b, n, written);
    }
    FifoReadiness Readiness(FifoHandle h) override { return Inner().Readiness(h); }
    FifoStatus TakeReadiness(FifoHandle h) override { return Inner().TakeReadiness(h); }
    std::string SerialNumber(FifoHandle h) override { return Inner().SerialNumber(h); }

protected:
    virtual FifoDriver& Inner() = 0;
};
