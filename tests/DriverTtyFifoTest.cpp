// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "link/driver/TtyFifo.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr auto kArrival = 2s;  // bound for bytes to cross the pseudo-terminal

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A pseudo-terminal whose master side plays the board.
class Pty {
public:
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return;
        }
        path = ::ptsname(master);
    }
    ~Pty() { HangUp(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    void Send(const Bytes& bytes) const {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // What the program wrote, up to `count` bytes.
    Bytes Receive(std::size_t count) const {
        Bytes received;
        const auto deadline = Clock::now() + kArrival;
        while (received.size() < count && Clock::now() < deadline) {
            pollfd line{master, POLLIN, 0};
            unsigned char chunk[512];
            if (::poll(&line, 1, 10) > 0) {
                const ssize_t n =
                    ::read(master, chunk, std::min(sizeof chunk, count - received.size()));
                if (n > 0) {
                    received.insert(received.end(), chunk, chunk + n);
                }
            }
        }
        return received;
    }

    void HangUp() {
        if (master >= 0) {
            ::close(master);
            master = -1;
        }
    }

    std::string path;

private:
    int master = -1;
};

// Queue count once it has reached `count`, or what it was when waiting gave up.
unsigned WaitForQueue(TtyFifo& fifo, FifoHandle handle, unsigned count) {
    unsigned queued = 0;
    const auto deadline = Clock::now() + kArrival;
    while (fifo.GetQueueStatus(handle, &queued) == FifoStatusCode::Ok && queued < count &&
           Clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    return queued;
}

// Waits for `count` bytes and reads them all.
Bytes ReadQueued(TtyFifo& fifo, FifoHandle handle, unsigned count) {
    EXPECT_EQ(WaitForQueue(fifo, handle, count), count);
    Bytes bytes(count + 16);
    unsigned got = 0;
    EXPECT_EQ(fifo.Read(handle, bytes.data(), static_cast<unsigned>(bytes.size()), &got),
              FifoStatusCode::Ok);
    bytes.resize(got);
    return bytes;
}

FifoHandle OpenOk(TtyFifo& fifo, int deviceNumber = 0) {
    FifoHandle handle = 0;
    EXPECT_EQ(fifo.Open(deviceNumber, &handle), FifoStatusCode::Ok);
    EXPECT_NE(handle, 0u);
    return handle;
}

Bytes AllByteValues() {
    Bytes bytes(256);
    for (unsigned i = 0; i < 256; ++i) {
        bytes[i] = static_cast<unsigned char>(i);
    }
    return bytes;
}

struct PayloadCase {
    std::string name;
    Bytes bytes;
};

void PrintTo(const PayloadCase& c, std::ostream* out) {
    *out << c.name;
}

class TtyFifoRawLine : public testing::TestWithParam<PayloadCase> {};

TEST_P(TtyFifoRawLine, BytesPassUnchangedInBothDirections) {
    const Bytes& payload = GetParam().bytes;
    Pty pty;
    TtyFifo fifo(pty.path);
    const FifoHandle handle = OpenOk(fifo);

    pty.Send(payload);
    EXPECT_EQ(ReadQueued(fifo, handle, static_cast<unsigned>(payload.size())), payload);

    unsigned written = 0;
    EXPECT_EQ(fifo.Write(handle, payload.data(), static_cast<unsigned>(payload.size()), &written),
              FifoStatusCode::Ok);
    EXPECT_EQ(written, payload.size());
    EXPECT_EQ(pty.Receive(payload.size()), payload);
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, TtyFifoRawLine,
    testing::Values(PayloadCase{"CarriageReturn", {0x0D}}, PayloadCase{"CrLf", {0x0D, 0x0A}},
                    PayloadCase{"LineFeed", {0x0A}}, PayloadCase{"ReplyLine", ToBytes("OK\r")},
                    PayloadCase{"EveryByteValue", AllByteValues()}),
    [](const testing::TestParamInfo<PayloadCase>& param) { return param.param.name; });

TEST(TtyFifo, QueueCountAndPartialReads) {
    Pty pty;
    TtyFifo fifo(pty.path);
    const FifoHandle handle = OpenOk(fifo);
    pty.Send(ToBytes("0123456789"));
    ASSERT_EQ(WaitForQueue(fifo, handle, 10), 10u);

    Bytes buffer(10);
    unsigned got = 99;
    ASSERT_EQ(fifo.Read(handle, buffer.data(), 4, &got), FifoStatusCode::Ok);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + got), ToBytes("0123"));
    unsigned queued = 0;
    ASSERT_EQ(fifo.GetQueueStatus(handle, &queued), FifoStatusCode::Ok);
    EXPECT_EQ(queued, 6u);

    ASSERT_EQ(fifo.Read(handle, buffer.data(), 10, &got), FifoStatusCode::Ok);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + got), ToBytes("456789"));
    ASSERT_EQ(fifo.GetQueueStatus(handle, &queued), FifoStatusCode::Ok);
    EXPECT_EQ(queued, 0u);
    ASSERT_EQ(fifo.Read(handle, buffer.data(), 10, &got), FifoStatusCode::Ok);
    EXPECT_EQ(got, 0u);
}

// The kernel's serial driver holds the chip back while more than a few bytes wait unread;
// a block of 100 two-channel records (1300 bytes) must not wait for bytes the kernel keeps
// back. A count leaves nothing in the kernel's buffer, and blocks come out whole and in order.
TEST(TtyFifo, QueueCountTakesEverythingTheKernelHolds) {
    Pty pty;
    TtyFifo fifo(pty.path);
    const FifoHandle handle = OpenOk(fifo);
    const int observer = ::open(pty.path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(observer, 0);
    Bytes sent;
    for (int i = 0; i < 2000; ++i) {
        sent.push_back(static_cast<unsigned char>(i * 7));
    }
    pty.Send(sent);
    ASSERT_EQ(WaitForQueue(fifo, handle, 2000), 2000u);
    int left = -1;
    ASSERT_EQ(::ioctl(observer, FIONREAD, &left), 0);
    ::close(observer);
    EXPECT_EQ(left, 0);

    Bytes block(1300);
    unsigned got = 0;
    ASSERT_EQ(fifo.Read(handle, block.data(), 1300, &got), FifoStatusCode::Ok);
    ASSERT_EQ(got, 1300u);
    EXPECT_EQ(block, Bytes(sent.begin(), sent.begin() + 1300));
    EXPECT_EQ(ReadQueued(fifo, handle, 700), Bytes(sent.begin() + 1300, sent.end()));
}

TEST(TtyFifo, PurgeDiscardsStaleBytes) {
    Pty pty;
    TtyFifo fifo(pty.path);
    const FifoHandle handle = OpenOk(fifo);
    pty.Send(ToBytes("stale reply\r"));
    ASSERT_EQ(WaitForQueue(fifo, handle, 12), 12u);

    ASSERT_EQ(fifo.Purge(handle, kPurgeRx | kPurgeTx), FifoStatusCode::Ok);
    unsigned queued = 99;
    ASSERT_EQ(fifo.GetQueueStatus(handle, &queued), FifoStatusCode::Ok);
    EXPECT_EQ(queued, 0u);
    pty.Send(ToBytes("OK\r"));
    EXPECT_EQ(ReadQueued(fifo, handle, 3), ToBytes("OK\r"));
}

// Bytes the chip still held when the kernel's buffer was flushed arrive afterwards; the
// purge waits for a quiet line and discards them too.
TEST(TtyFifo, PurgeDiscardsBytesArrivingSoonAfterTheFlush) {
    Pty pty;
    TtyFifo fifo(pty.path, 50ms);
    const FifoHandle handle = OpenOk(fifo);
    pty.Send(ToBytes("stale"));
    ASSERT_EQ(WaitForQueue(fifo, handle, 5), 5u);

    // A second descriptor on the same line sees the flush empty its queue.
    const int observer = ::open(pty.path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(observer, 0);
    std::thread chip([&] {
        int queued = 1;
        const auto deadline = Clock::now() + kArrival;
        while (::ioctl(observer, FIONREAD, &queued) == 0 && queued > 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(100us);
        }
        pty.Send(ToBytes("late"));
        std::this_thread::sleep_for(5ms);
        pty.Send(ToBytes("later"));
    });
    EXPECT_EQ(fifo.Purge(handle, kPurgeRx | kPurgeTx), FifoStatusCode::Ok);
    chip.join();
    ::close(observer);

    // The line keeps its order, so left-over late bytes would come before these.
    pty.Send(ToBytes("fresh"));
    EXPECT_EQ(ReadQueued(fifo, handle, 5), ToBytes("fresh"));
}

TEST(TtyFifo, HangUpFailsEveryLaterCall) {
    Pty pty;
    TtyFifo fifo(pty.path);
    const FifoHandle handle = OpenOk(fifo);
    pty.HangUp();

    unsigned queued = 0;
    EXPECT_NE(fifo.GetQueueStatus(handle, &queued), FifoStatusCode::Ok);
    EXPECT_NE(fifo.Purge(handle, kPurgeRx | kPurgeTx), FifoStatusCode::Ok);
    unsigned written = 0;
    EXPECT_NE(fifo.Write(handle, "X\r", 2, &written), FifoStatusCode::Ok);
    EXPECT_EQ(fifo.Close(handle), FifoStatusCode::Ok);
}

// True once `fd` is readable within `wait`.
bool Signalled(int fd, std::chrono::milliseconds wait) {
    pollfd ready{fd, POLLIN, 0};
    return ::poll(&ready, 1, static_cast<int>(wait.count())) > 0;
}

// The readiness descriptor signals each arrival once, not for as long as bytes wait, so a
// run that leaves a part block queued sleeps; and it signals a hang-up, which taking it
// reports.
TEST(TtyFifo, ReadinessSignalsArrivalsOnceAndAHangUp) {
    Pty pty;
    TtyFifo fifo(pty.path);
    const FifoHandle handle = OpenOk(fifo);
    const int ready = fifo.Readiness(handle).fd;
    ASSERT_GE(ready, 0);
    EXPECT_FALSE(Signalled(ready, 0ms));

    pty.Send(ToBytes("0123"));
    ASSERT_TRUE(Signalled(ready, kArrival));
    EXPECT_EQ(fifo.TakeReadiness(handle), FifoStatusCode::Ok);
    ASSERT_EQ(WaitForQueue(fifo, handle, 4), 4u);
    EXPECT_FALSE(Signalled(ready, 50ms));  // the four bytes still wait

    pty.Send(ToBytes("4"));
    EXPECT_TRUE(Signalled(ready, kArrival));
    EXPECT_EQ(fifo.TakeReadiness(handle), FifoStatusCode::Ok);

    pty.HangUp();
    EXPECT_TRUE(Signalled(ready, kArrival));
    EXPECT_EQ(fifo.TakeReadiness(handle), FifoStatusCode::IoError);
}

TEST(TtyFifo, SecondOpenFailsWhileTheFirstHoldsTheLine) {
    Pty pty;
    TtyFifo first(pty.path);
    TtyFifo second(pty.path);
    const FifoHandle handle = OpenOk(first);

    FifoHandle other = 5;
    EXPECT_NE(second.Open(0, &other), FifoStatusCode::Ok);
    EXPECT_EQ(other, 0u);

    ASSERT_EQ(first.Close(handle), FifoStatusCode::Ok);
    EXPECT_NE(OpenOk(second), 0u);
}

TEST(TtyFifo, OpenRefusesWhatIsNoBoardLine) {
    const fs::path dir = fs::temp_directory_path() / ("selkoran-tty-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "plain") << "not a terminal";
    Pty pty;
    const struct {
        std::string path;
        int deviceNumber;
        FifoStatus status;
    } cases[] = {
        {(dir / "missing").string(), 0, FifoStatusCode::DeviceNotFound},
        {(dir / "plain").string(), 0, FifoStatusCode::DeviceNotOpened},
        {pty.path, 1, FifoStatusCode::DeviceNotFound},
        {pty.path, -1, FifoStatusCode::DeviceNotFound},
    };
    for (const auto& c : cases) {
        TtyFifo fifo(c.path);
        FifoHandle handle = 7;
        EXPECT_EQ(fifo.Open(c.deviceNumber, &handle), c.status) << c.path << " #" << c.deviceNumber;
        EXPECT_EQ(handle, 0u);
    }
    fs::remove_all(dir);
}

TEST(TtyFifo, StaleHandlesAreRefused) {
    Pty pty;
    TtyFifo fifo(pty.path);
    const FifoHandle closed = OpenOk(fifo);
    ASSERT_EQ(fifo.Close(closed), FifoStatusCode::Ok);
    const FifoHandle current = OpenOk(fifo);

    unsigned value = 0;
    char byte = 0;
    for (const FifoHandle handle : {FifoHandle{0}, closed, current + 1}) {
        EXPECT_EQ(fifo.SetUSBParameters(handle, 4096, 0), FifoStatusCode::InvalidHandle);
        EXPECT_EQ(fifo.Purge(handle, kPurgeRx), FifoStatusCode::InvalidHandle);
        EXPECT_EQ(fifo.GetQueueStatus(handle, &value), FifoStatusCode::InvalidHandle);
        EXPECT_EQ(fifo.Read(handle, &byte, 1, &value), FifoStatusCode::InvalidHandle);
        EXPECT_EQ(fifo.Write(handle, &byte, 1, &value), FifoStatusCode::InvalidHandle);
        EXPECT_EQ(fifo.Close(handle), FifoStatusCode::InvalidHandle);
    }
    EXPECT_EQ(fifo.GetQueueStatus(current, &value), FifoStatusCode::Ok);
}

// A sysfs tree in the shape the kernel gives it: class/tty/<port>/device links into the
// device tree, where the USB device above the port carries idVendor. The device directory
// maps each port to a pseudo-terminal of its own.
class FakeMachine {
public:
    FakeMachine()
        : root(fs::temp_directory_path() / ("selkoran-sys-" + std::to_string(::getpid()))) {
        fs::remove_all(root);
        fs::create_directories(Dev());
    }
    ~FakeMachine() { fs::remove_all(root); }

    void AddPort(const std::string& name, const std::string& vendor,
                 const std::string& serial = {}) {
        const fs::path usb = root / "sys" / "devices" / ("usb-" + name);
        const fs::path port = usb / "1-1:1.0" / name;
        fs::create_directories(port);
        std::ofstream(usb / "idVendor") << vendor << "\n";
        if (!serial.empty()) {
            std::ofstream(usb / "serial") << serial << "\n";
        }
        fs::create_directories(Sys() / "class" / "tty" / name);
        fs::create_directory_symlink(port, Sys() / "class" / "tty" / name / "device");
        lines[name] = std::make_unique<Pty>();
        fs::create_symlink(lines[name]->path, Dev() / name);
    }

    fs::path Sys() const { return root / "sys"; }
    fs::path Dev() const { return root / "dev"; }

    fs::path root;
    std::map<std::string, std::unique_ptr<Pty>> lines;
};

TEST(TtyFifo, DeviceNumbersCountFtdiPortsInNumericOrder) {
    FakeMachine machine;
    machine.AddPort("ttyUSB10", "0403");
    machine.AddPort("ttyUSB0", "067b");
    machine.AddPort("ttyUSB2", "0403");
    machine.AddPort("ttyACM0", "0403");
    fs::create_directories(machine.Sys() / "class" / "tty" / "ttyS0");

    const std::vector<std::string> expected = {"ttyUSB2", "ttyUSB10"};
    for (std::size_t number = 0; number < expected.size(); ++number) {
        TtyFifo fifo(machine.Sys().string(), machine.Dev().string());
        const FifoHandle handle = OpenOk(fifo, static_cast<int>(number));
        unsigned written = 0;
        ASSERT_EQ(fifo.Write(handle, "ID\r", 3, &written), FifoStatusCode::Ok);
        EXPECT_EQ(machine.lines[expected[number]]->Receive(3), ToBytes("ID\r"))
            << "device " << number;
    }

    TtyFifo fifo(machine.Sys().string(), machine.Dev().string());
    FifoHandle handle = 3;
    EXPECT_EQ(fifo.Open(static_cast<int>(expected.size()), &handle),
              FifoStatusCode::DeviceNotFound);
    EXPECT_EQ(handle, 0u);
}

}  // namespace

TEST(TtyFifo, ReportsTheSerialNumberOfTheUsbDeviceAboveItsPort) {
    FakeMachine machine;
    machine.AddPort("ttyUSB0", "0403", "FT1234AB");
    machine.AddPort("ttyUSB1", "0403");
    const std::pair<int, std::string> expected[] = {{0, "FT1234AB"}, {1, ""}};
    for (const auto& [number, serial] : expected) {
        TtyFifo fifo(machine.Sys().string(), machine.Dev().string());
        EXPECT_EQ(fifo.SerialNumber(OpenOk(fifo, number)), serial) << "device " << number;
    }
    // A pseudo-terminal is no USB port: nothing to tell.
    TtyFifo pty(machine.lines["ttyUSB0"]->path);
    EXPECT_EQ(pty.SerialNumber(OpenOk(pty, 0)), "");
}
