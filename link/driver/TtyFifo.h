// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>

#include "link/driver/ByteRing.h"
#include "link/driver/FifoDriver.h"

// The board through a serial device node: a /dev/ttyUSB* of the kernel's ftdi_sio driver
// (found through sysfs by FTDI's vendor id 0403), or a pseudo-terminal. POSIX termios only;
// the line is raw, so every byte passes unchanged in both directions, and an exclusive flock
// keeps a second user off an open port. The queue count and reads work on a queue of the
// driver's own (kReceiveCapacity), into which each of them first moves everything the kernel
// holds for the line: the kernel holds the chip back while more than a few bytes wait unread,
// so a block left half in the kernel would never be completed. A purge discards what was
// received, and what arrives until the line has been quiet for two latency periods (at most a
// second), but lets what was written go out to the board first ("AX" before a close above all;
// a pseudo-terminal's flush would drop it): only bytes that cannot leave within a second are
// discarded.
class TtyFifo : public FifoDriver {
public:
    static constexpr std::chrono::milliseconds kDefaultLatency{16};
    static constexpr std::size_t kReceiveCapacity = 64 * 1024;

    // Device 0 is `devicePath`; there is no other.
    explicit TtyFifo(std::string devicePath, std::chrono::milliseconds latency = kDefaultLatency);
    // Device N is the N-th ttyUSB port (in numeric order) whose USB device has FTDI's vendor
    // id, as `sysRoot` lists them; it is opened as `devDir`/ttyUSBn.
    TtyFifo(std::string sysRoot, std::string devDir,
            std::chrono::milliseconds latency = kDefaultLatency);
    // The FTDI ports of this machine: /sys and /dev.
    TtyFifo();
    ~TtyFifo() override;
    TtyFifo(const TtyFifo&) = delete;
    TtyFifo& operator=(const TtyFifo&) = delete;

    FifoStatus Open(int deviceNumber, FifoHandle* handle) override;
    FifoStatus SetUSBParameters(FifoHandle handle, unsigned rxTransferSize,
                                unsigned txTransferSize) override;
    FifoStatus Purge(FifoHandle handle, unsigned mask) override;
    FifoStatus Close(FifoHandle handle) override;
    FifoStatus GetQueueStatus(FifoHandle handle, unsigned* rxBytes) override;
    FifoStatus Read(FifoHandle handle, void* buffer, unsigned count, unsigned* got) override;
    FifoStatus Write(FifoHandle handle, const void* buffer, unsigned count,
                     unsigned* written) override;
    // An epoll descriptor that watches the line edge-triggered: it signals each arrival of
    // bytes once, not for as long as bytes wait, and a hang-up.
    FifoReadiness Readiness(FifoHandle handle) override;
    FifoStatus TakeReadiness(FifoHandle handle) override;
    // For a ttyUSB port, the serial number sysfs gives for its USB device; else empty.
    std::string SerialNumber(FifoHandle handle) override;

private:
    bool IsOpen(FifoHandle handle) const;
    FifoStatus FindDevice(int deviceNumber, std::string* path) const;
    FifoStatus OpenPath(const std::string& path);
    FifoStatus MakeRaw() const;
    FifoStatus WatchLine();
    void CloseLine();
    FifoStatus TakeFromLine();
    FifoStatus DrainUntilQuiet() const;
    FifoStatus LetOutputGo() const;
    bool WaitWritable(std::chrono::steady_clock::time_point deadline) const;

    std::string devicePath;  // empty: search sysRoot
    std::string sysRoot;
    std::string devDir;
    std::string portName;  // the open line's name in class/tty (ttyUSBn), as opened
    std::chrono::milliseconds latency;
    ByteRing received{kReceiveCapacity};
    int fd = -1;
    int readyFd = -1;  // epoll descriptor watching fd
    FifoHandle openHandle = 0;
    FifoHandle lastHandle = 0;
};
