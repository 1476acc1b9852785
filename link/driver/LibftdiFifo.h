// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/driver/FifoDriver.h"
#include "link/driver/FtdiDeviceList.h"
#include "link/driver/FtdiReceiveQueue.h"

struct ftdi_context;

// The board's FTDI chip through libftdi and libusb. The kernel's serial driver lets go of
// the chip while it is open here and takes it back at Close (libftdi's re-attach mode), so
// /dev/ttyUSB* is there again once the program is done. libusb reads block, so a reader thread
// of this driver drains the chip into a bounded receive queue (64 KiB); the queue count and
// reads work on that queue and never wait. While the queue is full the thread stops reading
// and the chip holds the data back. The thread signals an eventfd whenever it queues bytes and
// when the board is gone; an unplugged board makes every later call fail.
class LibftdiFifo : public FifoDriver {
public:
    // Device 0 is the chosen chip (by default the first FTDI chip).
    explicit LibftdiFifo(FtdiChoice chosen = {});
    const FtdiChoice& Choice() const { return choice; }
    ~LibftdiFifo() override;
    LibftdiFifo(const LibftdiFifo&) = delete;
    LibftdiFifo& operator=(const LibftdiFifo&) = delete;

    FifoStatus Open(int deviceNumber, FifoHandle* handle) override;
    FifoStatus SetUSBParameters(FifoHandle handle, unsigned rxTransferSize,
                                unsigned txTransferSize) override;
    FifoStatus Purge(FifoHandle handle, unsigned mask) override;
    FifoStatus Close(FifoHandle handle) override;
    FifoStatus GetQueueStatus(FifoHandle handle, unsigned* rxBytes) override;
    FifoStatus Read(FifoHandle handle, void* buffer, unsigned count, unsigned* got) override;
    FifoStatus Write(FifoHandle handle, const void* buffer, unsigned count,
                     unsigned* written) override;
    FifoReadiness Readiness(FifoHandle handle) override;
    FifoStatus TakeReadiness(FifoHandle handle) override;
    std::string SerialNumber(FifoHandle handle) override;

private:
    FifoStatus Usable(FifoHandle handle) const;
    FifoStatus OpenChosen(int deviceNumber);
    FifoStatus FlushChip(unsigned mask);
    void ReaderLoop();
    std::size_t WaitForTurn();
    bool TransferOnce(std::vector<unsigned char>& buffer);
    void SetPurgeWaiting(bool fWaiting);
    void SignalReady() const;
    void StopReader();
    void Release();

    FtdiChoice choice;
    ftdi_context* ftdi = nullptr;
    std::string serialNumber;  // of the open chip, read once at Open
    FifoHandle openHandle = 0;
    FifoHandle lastHandle = 0;
    std::thread reader;
    // Held by the reader around each transfer and its append, and by Purge, so that a purge
    // never lets through bytes of a transfer that was running while it cleared the queue.
    std::mutex usbMutex;
    // Guards the queue and the flags below; held only briefly, so readers never wait long.
    std::mutex queueMutex;
    std::condition_variable queueChanged;
    FtdiReceiveQueue queue;
    std::size_t transferSize;  // bytes the reader asks for at once
    std::atomic<bool> fStop{false};
    std::atomic<bool> fPurgeWaiting{false};
    std::atomic<bool> fFailed{false};
    int readyFd;  // eventfd the reader signals
};
