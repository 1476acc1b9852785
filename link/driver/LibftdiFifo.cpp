// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/driver/LibftdiFifo.h"

#include <ftdi.h>
#include <libusb.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <climits>
#include <utility>

namespace {

constexpr std::size_t kQueueCapacity = 64 * 1024;
constexpr std::size_t kDefaultTransferSize = 4096;
constexpr unsigned kTransferUnit = 64;
constexpr unsigned kMaxTransferSize = 64 * 1024;
// Short, so that Close and Purge never wait long for a running transfer.
constexpr unsigned kReadTimeoutMs = 50;

bool ValidTransferSize(unsigned size) {
    return size == 0 || (size % kTransferUnit == 0 && size <= kMaxTransferSize);
}

// A transfer must be whole packets, or a packet of the chip would overflow it.
std::size_t WholePackets(std::size_t size, std::size_t packetSize) {
    return (size + packetSize - 1) / packetSize * packetSize;
}

// The serial number string of an open chip; empty when it has none or it cannot be read.
std::string ChipSerial(libusb_device_handle* handle, libusb_device* device) {
    libusb_device_descriptor descriptor{};
    unsigned char text[128] = {};
    if (libusb_get_device_descriptor(device, &descriptor) != 0 || descriptor.iSerialNumber == 0) {
        return {};
    }
    const int length = libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, text,
                                                          static_cast<int>(sizeof text));
    return length > 0 ? std::string(reinterpret_cast<char*>(text), static_cast<std::size_t>(length))
                      : std::string();
}

}  // namespace

LibftdiFifo::LibftdiFifo(FtdiChoice chosen)
    : choice(std::move(chosen)),
      queue(kQueueCapacity, kTransferUnit),
      transferSize(kDefaultTransferSize),
      readyFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

LibftdiFifo::~LibftdiFifo() {
    Release();
    if (readyFd >= 0) {
        close(readyFd);
    }
}

FifoStatus LibftdiFifo::Usable(FifoHandle handle) const {
    if (handle == 0 || handle != openHandle) {
        return FifoStatusCode::InvalidHandle;
    }
    return fFailed ? FifoStatusCode::IoError : FifoStatusCode::Ok;
}

FifoStatus LibftdiFifo::Open(int deviceNumber, FifoHandle* handle) {
    if (handle == nullptr) {
        return FifoStatusCode::InvalidParameter;
    }
    *handle = 0;
    if (ftdi != nullptr) {
        return FifoStatusCode::DeviceNotOpened;  // one device per driver object
    }
    const FifoStatus status = OpenChosen(deviceNumber);
    if (status != FifoStatusCode::Ok) {
        Release();
        return status;
    }
    queue = FtdiReceiveQueue(kQueueCapacity, ftdi->max_packet_size);
    transferSize = WholePackets(kDefaultTransferSize, ftdi->max_packet_size);
    fStop = false;
    fPurgeWaiting = false;
    fFailed = false;
    reader = std::thread(&LibftdiFifo::ReaderLoop, this);
    openHandle = ++lastHandle;
    *handle = openHandle;
    return FifoStatusCode::Ok;
}

FifoStatus LibftdiFifo::OpenChosen(int deviceNumber) {
    // Without a usable USB stack there is no device to be found.
    ftdi = ftdi_new();
    if (ftdi == nullptr) {
        return FifoStatusCode::DeviceNotFound;
    }
    // Closing gives the chip back to the kernel's serial driver, so /dev/ttyUSB* returns
    // once the program is done with the board.
    ftdi->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    const FtdiDeviceList devices(ftdi);
    libusb_device* device = devices.Find(choice, deviceNumber);
    if (device == nullptr) {
        return devices.Failed() ? FifoStatusCode::IoError : FifoStatusCode::DeviceNotFound;
    }
    if (ftdi_usb_open_dev(ftdi, device) != 0) {
        return FifoStatusCode::DeviceNotOpened;
    }
    serialNumber = ChipSerial(ftdi->usb_dev, device);
    return FifoStatusCode::Ok;
}

std::string LibftdiFifo::SerialNumber(FifoHandle handle) {
    return Usable(handle) == FifoStatusCode::Ok ? serialNumber : std::string();
}

FifoStatus LibftdiFifo::SetUSBParameters(FifoHandle handle, unsigned rxTransferSize,
                                         unsigned txTransferSize) {
    if (const FifoStatus status = Usable(handle); status != FifoStatusCode::Ok) {
        return status;
    }
    if (!ValidTransferSize(rxTransferSize) || !ValidTransferSize(txTransferSize)) {
        return FifoStatusCode::InvalidParameter;
    }
    if (rxTransferSize != 0) {
        if (ftdi_read_data_set_chunksize(ftdi, rxTransferSize) != 0) {
            return FifoStatusCode::IoError;
        }
        std::lock_guard lock(queueMutex);
        transferSize = WholePackets(rxTransferSize, ftdi->max_packet_size);
    }
    if (txTransferSize != 0 && ftdi_write_data_set_chunksize(ftdi, txTransferSize) != 0) {
        return FifoStatusCode::IoError;
    }
    return FifoStatusCode::Ok;
}

FifoStatus LibftdiFifo::Purge(FifoHandle handle, unsigned mask) {
    if (const FifoStatus status = Usable(handle); status != FifoStatusCode::Ok) {
        return status;
    }
    if ((mask & ~(kPurgeRx | kPurgeTx)) != 0) {
        return FifoStatusCode::InvalidParameter;
    }
    // The flag keeps the reader from taking the USB mutex again straight after each
    // transfer, so the purge gets it after at most one transfer.
    SetPurgeWaiting(true);
    FifoStatus status;
    {
        std::lock_guard usb(usbMutex);
        status = FlushChip(mask);
        if ((mask & kPurgeRx) != 0) {
            std::lock_guard lock(queueMutex);
            queue.Clear();
        }
    }
    SetPurgeWaiting(false);
    return fFailed ? FifoStatusCode::IoError : status;
}

FifoStatus LibftdiFifo::FlushChip(unsigned mask) {
    int result = 0;
    if (mask == (kPurgeRx | kPurgeTx)) {
        result = ftdi_tcioflush(ftdi);
    } else if (mask == kPurgeRx) {
        result = ftdi_tciflush(ftdi);
    } else if (mask == kPurgeTx) {
        result = ftdi_tcoflush(ftdi);
    }
    return result == 0 ? FifoStatusCode::Ok : FifoStatusCode::IoError;
}

void LibftdiFifo::SetPurgeWaiting(bool fWaiting) {
    {
        std::lock_guard lock(queueMutex);
        fPurgeWaiting = fWaiting;
    }
    queueChanged.notify_all();
}

FifoStatus LibftdiFifo::Close(FifoHandle handle) {
    if (handle == 0 || handle != openHandle) {
        return FifoStatusCode::InvalidHandle;
    }
    Release();
    return FifoStatusCode::Ok;
}

FifoStatus LibftdiFifo::GetQueueStatus(FifoHandle handle, unsigned* rxBytes) {
    if (const FifoStatus status = Usable(handle); status != FifoStatusCode::Ok) {
        return status;
    }
    if (rxBytes == nullptr) {
        return FifoStatusCode::InvalidParameter;
    }
    std::lock_guard lock(queueMutex);
    *rxBytes = static_cast<unsigned>(queue.Size());
    return FifoStatusCode::Ok;
}

FifoStatus LibftdiFifo::Read(FifoHandle handle, void* buffer, unsigned count, unsigned* got) {
    if (const FifoStatus status = Usable(handle); status != FifoStatusCode::Ok) {
        return status;
    }
    if (got == nullptr || (buffer == nullptr && count > 0)) {
        return FifoStatusCode::InvalidParameter;
    }
    {
        std::lock_guard lock(queueMutex);
        *got = static_cast<unsigned>(queue.Take(static_cast<unsigned char*>(buffer), count));
    }
    queueChanged.notify_all();
    return FifoStatusCode::Ok;
}

FifoStatus LibftdiFifo::Write(FifoHandle handle, const void* buffer, unsigned count,
                              unsigned* written) {
    if (const FifoStatus status = Usable(handle); status != FifoStatusCode::Ok) {
        return status;
    }
    if (written == nullptr || (buffer == nullptr && count > 0) || count > INT_MAX) {
        return FifoStatusCode::InvalidParameter;
    }
    *written = 0;
    // libusb's synchronous calls may run beside the reader's transfer.
    const int result =
        ftdi_write_data(ftdi, static_cast<const unsigned char*>(buffer), static_cast<int>(count));
    if (result < 0) {
        return FifoStatusCode::IoError;
    }
    *written = static_cast<unsigned>(result);
    return *written == count ? FifoStatusCode::Ok : FifoStatusCode::IoError;
}

FifoReadiness LibftdiFifo::Readiness(FifoHandle handle) {
    return handle != 0 && handle == openHandle ? FifoReadiness{readyFd, std::nullopt}
                                               : FifoReadiness{};
}

FifoStatus LibftdiFifo::TakeReadiness(FifoHandle handle) {
    const FifoStatus status = Usable(handle);
    eventfd_t signals = 0;
    if (status != FifoStatusCode::InvalidHandle && readyFd >= 0) {
        eventfd_read(readyFd, &signals);  // nothing to take is no failure
    }
    return status;
}

void LibftdiFifo::SignalReady() const {
    if (readyFd >= 0) {
        eventfd_write(readyFd, 1);
    }
}

void LibftdiFifo::ReaderLoop() {
    std::vector<unsigned char> buffer;
    for (std::size_t size = WaitForTurn(); size != 0; size = WaitForTurn()) {
        buffer.resize(size);
        std::lock_guard usb(usbMutex);
        if (!TransferOnce(buffer)) {
            fFailed = true;  // the board is gone; every later call fails
            SignalReady();
            return;
        }
    }
}

// Waits until the queue has room for a whole transfer and no purge is waiting; while the
// queue is full the chip holds the data back. Returns the transfer size, or 0 to stop.
std::size_t LibftdiFifo::WaitForTurn() {
    std::unique_lock lock(queueMutex);
    queueChanged.wait(lock,
                      [this] { return fStop || (!fPurgeWaiting && queue.CanTake(transferSize)); });
    return fStop ? 0 : transferSize;
}

// One bulk read from the chip's IN endpoint (libftdi names endpoints from the chip's side,
// so that is out_ep). Bytes of a transfer that timed out are kept.
bool LibftdiFifo::TransferOnce(std::vector<unsigned char>& buffer) {
    int received = 0;
    const int result =
        libusb_bulk_transfer(ftdi->usb_dev, static_cast<unsigned char>(ftdi->out_ep), buffer.data(),
                             static_cast<int>(buffer.size()), &received, kReadTimeoutMs);
    if (received > 0) {
        std::size_t queued = 0;
        {
            std::lock_guard lock(queueMutex);
            queued = queue.AppendTransfer(buffer.data(), static_cast<std::size_t>(received));
        }
        if (queued > 0) {
            SignalReady();
        }
    }
    return result == 0 || result == LIBUSB_ERROR_TIMEOUT;
}

void LibftdiFifo::StopReader() {
    if (!reader.joinable()) {
        return;
    }
    {
        std::lock_guard lock(queueMutex);
        fStop = true;
    }
    queueChanged.notify_all();
    reader.join();
}

void LibftdiFifo::Release() {
    StopReader();
    if (ftdi != nullptr) {
        if (ftdi->usb_dev != nullptr) {
            ftdi_usb_close(ftdi);
        }
        ftdi_free(ftdi);
        ftdi = nullptr;
    }
    serialNumber.clear();
    openHandle = 0;
    std::lock_guard lock(queueMutex);
    queue.Clear();
}
