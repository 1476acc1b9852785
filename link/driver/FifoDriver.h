// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// Handle of an open device; 0 stands for "no device".
using FifoHandle = std::uint32_t;

// Status of one driver call; 0 is success, every other value a failure.
using FifoStatus = std::uint32_t;

namespace FifoStatusCode {
inline constexpr FifoStatus Ok = 0;
inline constexpr FifoStatus InvalidHandle = 1;
inline constexpr FifoStatus DeviceNotFound = 2;
inline constexpr FifoStatus DeviceNotOpened = 3;
inline constexpr FifoStatus IoError = 4;
inline constexpr FifoStatus InsufficientResources = 5;
inline constexpr FifoStatus InvalidParameter = 6;
}  // namespace FifoStatusCode

// Masks of Purge.
inline constexpr unsigned kPurgeRx = 1;
inline constexpr unsigned kPurgeTx = 2;

// How a caller that waits for received bytes learns that they have come, instead of asking
// the queue over and over. The descriptor signals arrivals, not queued bytes, so a caller that
// leaves part of a block queued can sleep until more comes instead of waking without end.
//   driver          fd                                due                  failure signalled
//   TtyFifo         epoll on the line, edge-          -                    EPOLLHUP/EPOLLERR: an
//                   triggered EPOLLIN                                      unplugged adapter, a
//                                                                          closed pty master
//   LibftdiFifo     eventfd the reader thread         -                    the reader's transfer
//                   writes after queueing bytes                            failed (board gone)
//   SimulatedFifo   -                                 next reply or        the device vanished
//                                                     packet; now when     (every call fails)
//                                                     bytes came since
//                                                     TakeReadiness
//   the default     -                                 -                    -
// Callers never trust readiness alone: they look at least once a second where the driver
// announces its bytes, every 100 ms where it does not; a signal with nothing to read costs one
// look.
struct FifoReadiness {
    using Clock = std::chrono::steady_clock;

    // Becomes readable once bytes have arrived since the last TakeReadiness, and when the
    // device fails (an error, a hang-up); -1 when the driver has no descriptor.
    int fd = -1;
    // When bytes are next due, for a driver that has nothing to signal with.
    std::optional<Clock::time_point> due;
    // The driver tells when bytes are due, and expects none while `due` is unset.
    bool fDueKnown = false;

    // Whether the driver announces its bytes itself, by its descriptor or its due times; a
    // caller need then look without a signal only now and then, in case one was missed.
    bool Announces() const { return fd >= 0 || fDueKnown; }
};

// The seven device operations the transport uses, one backend per way of reaching the
// board's USB FIFO chip. Reads and queue queries never block.
class FifoDriver {
public:
    virtual ~FifoDriver() = default;

    // Beside the seven operations: how to sleep until bytes arrive. A driver without either
    // answer leaves its callers to look again at their longest interval.
    virtual FifoReadiness Readiness(FifoHandle handle);
    // Consumes the descriptor's signal; call it before each look at the queue, so bytes that
    // arrive after the look signal again. IoError when the device has reported an error or a
    // hang-up.
    virtual FifoStatus TakeReadiness(FifoHandle handle);
    // The USB serial number of the open device's chip; empty when it has none or the driver
    // cannot tell (an instrument's identification names the board by it).
    virtual std::string SerialNumber(FifoHandle handle);

    // Opens device `deviceNumber` and writes a non-zero handle.
    virtual FifoStatus Open(int deviceNumber, FifoHandle* handle) = 0;
    // USB transfer sizes in bytes (0 leaves one unchanged).
    virtual FifoStatus SetUSBParameters(FifoHandle handle, unsigned rxTransferSize,
                                        unsigned txTransferSize) = 0;
    // Discards queued bytes: kPurgeRx, kPurgeTx or both.
    virtual FifoStatus Purge(FifoHandle handle, unsigned mask) = 0;
    virtual FifoStatus Close(FifoHandle handle) = 0;
    // Number of received bytes that a read can take at once.
    virtual FifoStatus GetQueueStatus(FifoHandle handle, unsigned* rxBytes) = 0;
    // Takes up to `count` received bytes without waiting; `*got` says how many.
    virtual FifoStatus Read(FifoHandle handle, void* buffer, unsigned count, unsigned* got) = 0;
    // Writes `count` bytes; `*written` says how many went out.
    virtual FifoStatus Write(FifoHandle handle, const void* buffer, unsigned count,
                             unsigned* written) = 0;
};
