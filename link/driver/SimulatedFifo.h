// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

#include "boardsim/BoardSimulator.h"
#include "link/driver/FifoDriver.h"

// The simulated board behind the driver interface: one device, number 0, always present
// unless a fault makes it vanish. Real time by default; tests pass their own clock.
class SimulatedFifo : public FifoDriver {
public:
    static constexpr FifoHandle kHandle = 1;

    explicit SimulatedFifo(BoardOptions options = {},
                           BoardSimulator::NowFunction now = BoardSimulator::Clock::now);

    BoardSimulator& Board() { return board; }

    FifoStatus Open(int deviceNumber, FifoHandle* handle) override;
    FifoStatus SetUSBParameters(FifoHandle handle, unsigned rxTransferSize,
                                unsigned txTransferSize) override;
    FifoStatus Purge(FifoHandle handle, unsigned mask) override;
    FifoStatus Close(FifoHandle handle) override;
    FifoStatus GetQueueStatus(FifoHandle handle, unsigned* rxBytes) override;
    FifoStatus Read(FifoHandle handle, void* buffer, unsigned count, unsigned* got) override;
    FifoStatus Write(FifoHandle handle, const void* buffer, unsigned count,
                     unsigned* written) override;
    // No descriptor: the time the board's next bytes become readable, on the steady clock;
    // now, when bytes have come since the last TakeReadiness; unset when none are coming.
    FifoReadiness Readiness(FifoHandle handle) override;
    FifoStatus TakeReadiness(FifoHandle handle) override;
    // The `serial=` option of the simulated board.
    std::string SerialNumber(FifoHandle handle) override;

private:
    // Ok when `handle` names the open device; a vanished device fails every call.
    FifoStatus Usable(FifoHandle handle);

    BoardSimulator::NowFunction now;
    BoardSimulator board;
    bool fOpen = false;
    int purges = 0;
    std::size_t heldAtTake = 0;  // bytes waiting at the last TakeReadiness, less those read since
};
