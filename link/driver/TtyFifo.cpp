// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/driver/TtyFifo.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::string_view kPortPrefix = "ttyUSB";
constexpr std::string_view kFtdiVendor = "0403";
// A write that cannot go on for this long has failed.
constexpr std::chrono::milliseconds kWriteWait{1000};
// A purge stops discarding after this long even if the line never goes quiet.
constexpr std::chrono::milliseconds kPurgeCap{1000};

// The number of "ttyUSB<n>", or -1 for any other name.
long PortNumber(const std::string& name) {
    if (name.size() <= kPortPrefix.size() || name.compare(0, kPortPrefix.size(), kPortPrefix)) {
        return -1;
    }
    const std::string digits = name.substr(kPortPrefix.size());
    if (digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    return std::stol(digits);
}

// An attribute (idVendor, serial) of the USB device above `device`: the nearest ancestor that
// has an idVendor, not looking above `root`; empty when there is none.
std::string UsbAttributeOf(const fs::path& device, const fs::path& root, const char* attribute) {
    std::error_code error;
    for (fs::path dir = fs::canonical(device, error); !error && dir != dir.parent_path();
         dir = dir.parent_path()) {
        if (dir == root) {
            break;
        }
        if (fs::exists(dir / "idVendor", error)) {
            std::ifstream file(dir / attribute);
            std::string value;
            std::getline(file, value);
            return value;
        }
    }
    return {};
}

// ttyUSB port names whose USB device is FTDI's, in numeric order.
std::vector<std::string> FtdiPorts(const fs::path& sysRoot) {
    std::error_code error;
    const fs::path root = fs::canonical(sysRoot, error);
    std::vector<std::pair<long, std::string>> ports;
    for (fs::directory_iterator entry(sysRoot / "class" / "tty", error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        const long number = PortNumber(name);
        if (number >= 0 &&
            UsbAttributeOf(entry->path() / "device", root, "idVendor") == kFtdiVendor) {
            ports.emplace_back(number, name);
        }
    }
    std::sort(ports.begin(), ports.end());
    std::vector<std::string> names;
    for (auto& port : ports) {
        names.push_back(std::move(port.second));
    }
    return names;
}

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

TtyFifo::TtyFifo(std::string path, std::chrono::milliseconds latencyPeriod)
    : devicePath(std::move(path)), latency(latencyPeriod) {}

TtyFifo::TtyFifo(std::string sysfsRoot, std::string deviceDir,
                 std::chrono::milliseconds latencyPeriod)
    : sysRoot(std::move(sysfsRoot)), devDir(std::move(deviceDir)), latency(latencyPeriod) {}

TtyFifo::TtyFifo() : TtyFifo("/sys", "/dev") {}

TtyFifo::~TtyFifo() {
    CloseLine();
}

void TtyFifo::CloseLine() {
    if (readyFd >= 0) {
        ::close(readyFd);
        readyFd = -1;
    }
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

FifoStatus TtyFifo::Open(int deviceNumber, FifoHandle* handle) {
    if (handle == nullptr) {
        return FifoStatusCode::InvalidParameter;
    }
    *handle = 0;
    if (fd >= 0) {
        return FifoStatusCode::DeviceNotOpened;  // one device per driver object
    }
    std::string path;
    FifoStatus status = FindDevice(deviceNumber, &path);
    if (status == FifoStatusCode::Ok) {
        status = OpenPath(path);
    }
    if (status == FifoStatusCode::Ok) {
        openHandle = ++lastHandle;
        *handle = openHandle;
        portName = fs::path(path).filename().string();
    }
    return status;
}

std::string TtyFifo::SerialNumber(FifoHandle handle) {
    if (!IsOpen(handle) || PortNumber(portName) < 0) {
        return {};
    }
    const fs::path sys = sysRoot.empty() ? fs::path("/sys") : fs::path(sysRoot);
    std::error_code error;
    return UsbAttributeOf(sys / "class" / "tty" / portName / "device", fs::canonical(sys, error),
                          "serial");
}

bool TtyFifo::IsOpen(FifoHandle handle) const {
    return handle != 0 && handle == openHandle;
}

FifoStatus TtyFifo::FindDevice(int deviceNumber, std::string* path) const {
    if (!devicePath.empty()) {
        *path = devicePath;
        return deviceNumber == 0 ? FifoStatusCode::Ok : FifoStatusCode::DeviceNotFound;
    }
    const std::vector<std::string> ports = FtdiPorts(sysRoot);
    if (deviceNumber < 0 || static_cast<std::size_t>(deviceNumber) >= ports.size()) {
        return FifoStatusCode::DeviceNotFound;
    }
    *path = (fs::path(devDir) / ports[deviceNumber]).string();
    return FifoStatusCode::Ok;
}

FifoStatus TtyFifo::OpenPath(const std::string& path) {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT || errno == ENXIO || errno == ENODEV
                   ? FifoStatusCode::DeviceNotFound
                   : FifoStatusCode::DeviceNotOpened;
    }
    // The lock keeps a second program (or driver object) off a board that is in use.
    FifoStatus status = FifoStatusCode::DeviceNotOpened;
    if (::isatty(fd) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        status = MakeRaw();
    }
    if (status == FifoStatusCode::Ok) {
        status = WatchLine();
    }
    if (status != FifoStatusCode::Ok) {
        CloseLine();
    }
    return status;
}

FifoStatus TtyFifo::WatchLine() {
    readyFd = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event watch{};
    watch.events = EPOLLIN | EPOLLET;
    watch.data.fd = fd;
    if (readyFd < 0 || ::epoll_ctl(readyFd, EPOLL_CTL_ADD, fd, &watch) != 0) {
        return FifoStatusCode::InsufficientResources;
    }
    return FifoStatusCode::Ok;
}

FifoStatus TtyFifo::MakeRaw() const {
    termios mode{};
    if (::tcgetattr(fd, &mode) != 0) {
        return FifoStatusCode::DeviceNotOpened;
    }
    ::cfmakeraw(&mode);
    mode.c_cflag |= CLOCAL | CREAD;
    mode.c_cc[VMIN] = 0;
    mode.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &mode) == 0 ? FifoStatusCode::Ok
                                                : FifoStatusCode::DeviceNotOpened;
}

FifoStatus TtyFifo::SetUSBParameters(FifoHandle handle, unsigned, unsigned) {
    // The kernel driver chooses its own USB transfer sizes.
    return IsOpen(handle) ? FifoStatusCode::Ok : FifoStatusCode::InvalidHandle;
}

FifoStatus TtyFifo::Purge(FifoHandle handle, unsigned mask) {
    if (!IsOpen(handle)) {
        return FifoStatusCode::InvalidHandle;
    }
    if ((mask & ~(kPurgeRx | kPurgeTx)) != 0) {
        return FifoStatusCode::InvalidParameter;
    }
    if ((mask & kPurgeTx) != 0) {
        if (const FifoStatus status = LetOutputGo(); status != FifoStatusCode::Ok) {
            return status;
        }
    }
    if ((mask & kPurgeRx) == 0) {
        return FifoStatusCode::Ok;
    }
    if (::tcflush(fd, TCIFLUSH) != 0) {
        return FifoStatusCode::IoError;
    }
    received.Clear();
    return DrainUntilQuiet();
}

// What the program wrote is a command for the board ("AX" before a close above all), so the
// transmit side is not discarded but let go to the line: the kernel queues written bytes and
// sends them later, and a pseudo-terminal's flush would even drop bytes the other side has
// not taken in yet. Only bytes that cannot leave within the write's wait (a board that takes
// nothing) are discarded, so that closing the line never hangs on them.
FifoStatus TtyFifo::LetOutputGo() const {
    const Clock::time_point deadline = Clock::now() + kWriteWait;
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0) {
            return FifoStatusCode::IoError;
        }
        if (queued <= 0) {
            return FifoStatusCode::Ok;
        }
        if (Clock::now() >= deadline) {
            return ::tcflush(fd, TCOFLUSH) == 0 ? FifoStatusCode::Ok : FifoStatusCode::IoError;
        }
        // A few bytes at the line's speed: the queue empties within a millisecond or two.
        ::poll(nullptr, 0, 1);
    }
}

// The flush empties only the kernel's buffer; what the chip still holds, or what is on its
// way, arrives afterwards. Discard until the line has been quiet for two latency periods
// (the chip sends what it holds at least once a period).
FifoStatus TtyFifo::DrainUntilQuiet() const {
    const auto quiet = 2 * latency;
    const Clock::time_point cap = Clock::now() + kPurgeCap;
    unsigned char discard[4096];
    for (Clock::time_point now = Clock::now(); now < cap; now = Clock::now()) {
        const auto wait = std::min<Clock::duration>(quiet, cap - now);
        pollfd line{fd, POLLIN, 0};
        const int ready = ::poll(
            &line, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
        if (ready < 0 && errno != EINTR) {
            return FifoStatusCode::IoError;
        }
        if (ready == 0) {
            return FifoStatusCode::Ok;
        }
        if ((line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return FifoStatusCode::IoError;
        }
        if (ready > 0 && ::read(fd, discard, sizeof discard) < 0 && !WouldBlock(errno) &&
            errno != EINTR) {
            return FifoStatusCode::IoError;
        }
    }
    return FifoStatusCode::Ok;
}

FifoStatus TtyFifo::Close(FifoHandle handle) {
    if (!IsOpen(handle)) {
        return FifoStatusCode::InvalidHandle;
    }
    ::close(readyFd);
    readyFd = -1;
    const int result = ::close(fd);
    fd = -1;
    openHandle = 0;
    received.Clear();
    return result == 0 ? FifoStatusCode::Ok : FifoStatusCode::IoError;
}

FifoReadiness TtyFifo::Readiness(FifoHandle handle) {
    return IsOpen(handle) ? FifoReadiness{readyFd, std::nullopt} : FifoReadiness{};
}

FifoStatus TtyFifo::TakeReadiness(FifoHandle handle) {
    if (!IsOpen(handle)) {
        return FifoStatusCode::InvalidHandle;
    }
    epoll_event event{};
    const int ready = ::epoll_wait(readyFd, &event, 1, 0);
    if (ready < 0 && errno != EINTR) {
        return FifoStatusCode::IoError;
    }
    // An unplugged adapter or a closed pseudo-terminal master hangs the line up.
    const bool fFailed = ready > 0 && (event.events & (EPOLLHUP | EPOLLERR)) != 0;
    return fFailed ? FifoStatusCode::IoError : FifoStatusCode::Ok;
}

FifoStatus TtyFifo::GetQueueStatus(FifoHandle handle, unsigned* rxBytes) {
    if (!IsOpen(handle)) {
        return FifoStatusCode::InvalidHandle;
    }
    if (rxBytes == nullptr) {
        return FifoStatusCode::InvalidParameter;
    }
    const FifoStatus status = TakeFromLine();
    *rxBytes = static_cast<unsigned>(received.Size());
    return status;
}

// The kernel's serial driver holds the chip back while more than a few bytes wait unread
// in its buffer, and lets it go on only once nearly all are read. A caller that waits for a
// whole block of records would wait for ever for bytes the chip may not send, so every count
// and read first takes everything the kernel holds.
FifoStatus TtyFifo::TakeFromLine() {
    // After a hang-up (the board unplugged) the query fails; that is no empty queue.
    int queued = 0;
    if (::ioctl(fd, FIONREAD, &queued) != 0 || queued < 0) {
        return FifoStatusCode::IoError;
    }
    unsigned char chunk[4096];
    for (std::size_t want =
             std::min<std::size_t>(static_cast<std::size_t>(queued), received.Room());
         want > 0;) {
        const ssize_t result = ::read(fd, chunk, std::min(want, sizeof chunk));
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result < 0 && !WouldBlock(errno)) {
            return FifoStatusCode::IoError;
        }
        if (result <= 0) {
            break;
        }
        const auto got = static_cast<std::size_t>(result);
        received.Push(chunk, got);
        want -= std::min(want, got);
    }
    return FifoStatusCode::Ok;
}

FifoStatus TtyFifo::Read(FifoHandle handle, void* buffer, unsigned count, unsigned* got) {
    if (!IsOpen(handle)) {
        return FifoStatusCode::InvalidHandle;
    }
    if (got == nullptr || (buffer == nullptr && count > 0)) {
        return FifoStatusCode::InvalidParameter;
    }
    *got = 0;
    if (received.Size() < count) {
        if (const FifoStatus status = TakeFromLine(); status != FifoStatusCode::Ok) {
            return status;
        }
    }
    *got = static_cast<unsigned>(received.Take(static_cast<unsigned char*>(buffer), count));
    return FifoStatusCode::Ok;
}

FifoStatus TtyFifo::Write(FifoHandle handle, const void* buffer, unsigned count,
                          unsigned* written) {
    if (!IsOpen(handle)) {
        return FifoStatusCode::InvalidHandle;
    }
    if (written == nullptr || (buffer == nullptr && count > 0)) {
        return FifoStatusCode::InvalidParameter;
    }
    *written = 0;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const Clock::time_point deadline = Clock::now() + kWriteWait;
    while (*written < count) {
        const ssize_t result = ::write(fd, bytes + *written, count - *written);
        if (result > 0) {
            *written += static_cast<unsigned>(result);
            continue;
        }
        const bool fRetry = result == 0 || errno == EINTR || WouldBlock(errno);
        if (!fRetry || !WaitWritable(deadline)) {
            return FifoStatusCode::IoError;
        }
    }
    return FifoStatusCode::Ok;
}

bool TtyFifo::WaitWritable(Clock::time_point deadline) const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
        return false;
    }
    pollfd line{fd, POLLOUT, 0};
    const int ready = ::poll(&line, 1, static_cast<int>(left.count()));
    if (ready <= 0) {
        return ready < 0 && errno == EINTR;  // the deadline bounds the retries
    }
    return (line.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}
