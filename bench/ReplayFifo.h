// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "link/driver/FifoDriver.h"

// A driver that always holds the same prepared bytes: every read takes from them
// cyclically, so a parser can be timed without a board or a simulator behind it.
class ReplayFifo : public FifoDriver {
public:
    explicit ReplayFifo(std::string bytes);

    FifoStatus Open(int deviceNumber, FifoHandle* handle) override;
    FifoStatus SetUSBParameters(FifoHandle handle, unsigned rxTransferSize,
                                unsigned txTransferSize) override;
    FifoStatus Purge(FifoHandle handle, unsigned mask) override;
    FifoStatus Close(FifoHandle handle) override;
    FifoStatus GetQueueStatus(FifoHandle handle, unsigned* rxBytes) override;
    FifoStatus Read(FifoHandle handle, void* buffer, unsigned count, unsigned* got) override;
    FifoStatus Write(FifoHandle handle, const void* buffer, unsigned count,
                     unsigned* written) override;

private:
    std::string data;
    std::size_t position = 0;
};
