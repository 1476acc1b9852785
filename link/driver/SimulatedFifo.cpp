// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/driver/SimulatedFifo.h"

#include <algorithm>
#include <utility>

SimulatedFifo::SimulatedFifo(BoardOptions options, BoardSimulator::NowFunction nowFunction)
    : now(std::move(nowFunction)), board(std::move(options), now) {}

FifoStatus SimulatedFifo::Usable(FifoHandle handle) {
    if (board.Vanished()) {
        return FifoStatusCode::IoError;
    }
    return fOpen && handle == kHandle ? FifoStatusCode::Ok : FifoStatusCode::InvalidHandle;
}

FifoStatus SimulatedFifo::Open(int deviceNumber, FifoHandle* handle) {
    if (handle == nullptr) {
        return FifoStatusCode::InvalidParameter;
    }
    *handle = 0;
    if (deviceNumber != 0 || board.Vanished()) {
        return FifoStatusCode::DeviceNotFound;
    }
    if (fOpen) {
        return FifoStatusCode::DeviceNotOpened;
    }
    fOpen = true;
    *handle = kHandle;
    return FifoStatusCode::Ok;
}

FifoStatus SimulatedFifo::SetUSBParameters(FifoHandle handle, unsigned, unsigned) {
    // The simulated chip has one fixed packet size.
    return Usable(handle);
}

FifoStatus SimulatedFifo::Purge(FifoHandle handle, unsigned mask) {
    const FifoStatus status = Usable(handle);
    if (status != FifoStatusCode::Ok) {
        return status;
    }
    if (purges++ == board.Options().purgeFailsAt) {
        return FifoStatusCode::IoError;
    }
    if ((mask & kPurgeRx) != 0) {
        board.PurgeOutput();
        heldAtTake = 0;
    }
    return FifoStatusCode::Ok;
}

FifoStatus SimulatedFifo::Close(FifoHandle handle) {
    const FifoStatus status = Usable(handle);
    if (status == FifoStatusCode::Ok) {
        fOpen = false;
    }
    return status;
}

FifoStatus SimulatedFifo::GetQueueStatus(FifoHandle handle, unsigned* rxBytes) {
    const FifoStatus status = Usable(handle);
    if (status != FifoStatusCode::Ok) {
        return status;
    }
    if (rxBytes == nullptr) {
        return FifoStatusCode::InvalidParameter;
    }
    *rxBytes = static_cast<unsigned>(board.Available());
    return FifoStatusCode::Ok;
}

FifoStatus SimulatedFifo::Read(FifoHandle handle, void* buffer, unsigned count, unsigned* got) {
    const FifoStatus status = Usable(handle);
    if (status != FifoStatusCode::Ok) {
        return status;
    }
    if (got == nullptr || (buffer == nullptr && count > 0)) {
        return FifoStatusCode::InvalidParameter;
    }
    *got = static_cast<unsigned>(board.Read(static_cast<char*>(buffer), count));
    heldAtTake -= std::min<std::size_t>(*got, heldAtTake);
    return FifoStatusCode::Ok;
}

FifoStatus SimulatedFifo::Write(FifoHandle handle, const void* buffer, unsigned count,
                                unsigned* written) {
    const FifoStatus status = Usable(handle);
    if (status != FifoStatusCode::Ok) {
        return status;
    }
    if (written == nullptr || (buffer == nullptr && count > 0)) {
        return FifoStatusCode::InvalidParameter;
    }
    board.Write(static_cast<const char*>(buffer), count);
    *written = count;
    return FifoStatusCode::Ok;
}

FifoReadiness SimulatedFifo::Readiness(FifoHandle handle) {
    if (Usable(handle) != FifoStatusCode::Ok) {
        return {};
    }
    FifoReadiness readiness;
    readiness.fDueKnown = true;
    if (board.Available() > heldAtTake) {
        readiness.due = FifoReadiness::Clock::now();  // bytes came since the caller last looked
    } else if (const auto due = board.NextArrivalTime()) {
        // The board may run on a clock of its own; the caller sleeps on the steady clock.
        readiness.due = FifoReadiness::Clock::now() + (*due - now());
    }
    return readiness;
}

FifoStatus SimulatedFifo::TakeReadiness(FifoHandle handle) {
    const FifoStatus status = Usable(handle);
    if (status == FifoStatusCode::Ok) {
        heldAtTake = board.Available();
    }
    return status;
}

std::string SimulatedFifo::SerialNumber(FifoHandle handle) {
    return Usable(handle) == FifoStatusCode::Ok ? board.Options().serial : std::string();
}
