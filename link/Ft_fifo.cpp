// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Ft_fifo.h"

#include <algorithm>
#include <cstring>
#include <utility>

char NibbleToHexChar(unsigned v) {
    return static_cast<char>(v <= 9 ? '0' + v : 'A' + (v - 10));
}

Tft_FIFO::Tft_FIFO(FifoDriver& fifoDriver, LinkTiming linkTiming)
    : driver(fifoDriver), timing(std::move(linkTiming)), timeoutTimer(timing.Now) {}

Tft_FIFO::~Tft_FIFO() {
    if (ftHandle != 0) {
        Purge();
        Close();
    }
    timeoutTimer.Stop();
}

bool Tft_FIFO::OpenDevice(unsigned rxTransferSize) {
    if (ftHandle != 0) {
        return true;
    }
    ftStatus = driver.Open(0, &ftHandle);
    if (ftStatus != FifoStatusCode::Ok || ftHandle == 0) {
        ftHandle = 0;
        return false;
    }
    ftStatus = driver.SetUSBParameters(ftHandle, rxTransferSize, 0);
    if (ftStatus != FifoStatusCode::Ok) {
        CloseHandle();
        return false;
    }
    return Purge();
}

bool Tft_FIFO::Open() {
    return OpenDevice(4096);
}

bool Tft_FIFO::Purge() {
    rxHeld = 0;
    rxQueueBytes = 0;
    if (ftHandle == 0) {
        return false;
    }
    ftStatus = driver.Purge(ftHandle, kPurgeRx | kPurgeTx);
    if (ftStatus == FifoStatusCode::Ok) {
        return true;
    }
    // A device that cannot be purged cannot be trusted: leave the link closed.
    CloseHandle();
    return false;
}

void Tft_FIFO::Close() {
    if (ftHandle != 0) {
        Purge();
    }
    if (ftHandle != 0) {
        CloseHandle();
    }
    ftHandle = 0;
}

void Tft_FIFO::CloseHandle() {
    ftStatus = driver.Close(ftHandle);
    ftHandle = 0;
}

void Tft_FIFO::SetTimeout(int ms) {
    timeoutTimer.Stop();
    timedOut = false;
    timeoutMs = ms;
}

void Tft_FIFO::StartTimeout() {
    timedOut = false;
    timeoutTimer.SetInterval(timeoutMs);
    timeoutTimer.Start();
}

void Tft_FIFO::StopTimeout() {
    timeoutTimer.Stop();
    timedOut = false;
}

void Tft_FIFO::OnTimeoutTimer() {
    timeoutTimer.Stop();
    timedOut = true;
}

FifoReadiness Tft_FIFO::Readiness() {
    return ftHandle != 0 ? driver.Readiness(ftHandle) : FifoReadiness{};
}

std::string Tft_FIFO::SerialNumber() const {
    return ftHandle == 0 ? std::string() : driver.SerialNumber(ftHandle);
}

bool Tft_FIFO::TakeReadiness() {
    if (ftHandle == 0) {
        return false;
    }
    ftStatus = driver.TakeReadiness(ftHandle);
    return ftStatus == FifoStatusCode::Ok;
}

void Tft_FIFO::WaitAndPollTimer() {
    timing.Wait(Readiness(), timeoutTimer.Remaining());
    if (timeoutTimer.Fire()) {
        OnTimeoutTimer();
    }
}

bool Tft_FIFO::QueryQueue() {
    rxQueueBytes = 0;
    ftStatus = driver.GetQueueStatus(ftHandle, &rxQueueBytes);
    return ftStatus == FifoStatusCode::Ok;
}

bool Tft_FIFO::DriverRead(char* buf, unsigned count, unsigned* got) {
    *got = 0;
    ftStatus = driver.Read(ftHandle, buf, count, got);
    // A driver never delivers more than asked; guard anyway so nothing past `buf` counts.
    *got = std::min(*got, count);
    rxQueueBytes -= std::min(*got, rxQueueBytes);
    return ftStatus == FifoStatusCode::Ok;
}

bool Tft_FIFO::ReadAvailable(char* buf, unsigned room, unsigned* got) {
    if (ftHandle == 0) {
        return false;
    }
    if (!QueryQueue()) {
        return false;
    }
    if (rxQueueBytes == 0 || room == 0) {
        *got = 0;
        return true;
    }
    return DriverRead(buf, std::min(rxQueueBytes, room), got);
}

bool Tft_FIFO::ReadExact(char* buf, unsigned n, unsigned* got) {
    if (ftHandle == 0 || n > kRxStoreSize) {
        return false;
    }
    const auto held = static_cast<unsigned>(rxHeld);
    if (held >= n) {
        std::memcpy(buf, rxStore, n);
        std::memmove(rxStore, rxStore + n, held - n);
        rxHeld = static_cast<std::int32_t>(held - n);
        *got = n;
        return true;
    }
    if (!QueryQueue()) {
        return false;
    }
    if (held + rxQueueBytes < n) {
        *got = 0;
        return true;
    }
    // Take everything queued (as far as the store has room) behind the held bytes; what
    // lies beyond the block stays held for the next call, in the order received.
    unsigned fresh = 0;
    const unsigned want = std::min(rxQueueBytes, kRxStoreSize - held);
    if (!DriverRead(rxStore + held, want, &fresh)) {
        *got = 0;
        return false;
    }
    const unsigned total = held + fresh;
    if (total < n) {
        // The driver delivered less than it promised: keep the bytes for the next call.
        rxHeld = static_cast<std::int32_t>(total);
        *got = 0;
        return true;
    }
    std::memcpy(buf, rxStore, n);
    std::memmove(rxStore, rxStore + n, total - n);
    rxHeld = static_cast<std::int32_t>(total - n);
    *got = n;
    return true;
}

bool Tft_FIFO::SendCommand(const char* text) {
    if (ftHandle == 0) {
        return false;
    }
    const std::size_t length = std::strlen(text);
    if (length > kMaxCommandLength) {
        return false;
    }
    char line[kMaxCommandLength + 1];
    std::memcpy(line, text, length);
    line[length] = '\r';
    unsigned written = 0;
    ftStatus = driver.Write(ftHandle, line, static_cast<unsigned>(length + 1), &written);
    return ftStatus == FifoStatusCode::Ok;
}

bool Tft_FIFO::SendCommandWaitOK(const char* text) {
    if (ftHandle == 0 || !SendCommand(text)) {
        return false;
    }
    char ack[kAckAreaSize];
    unsigned fill = 0;
    StartTimeout();
    // The queue is looked at once more after the time-out fires: an answer that came while
    // the wait overran (a long paint, a busy machine) still counts.
    for (;;) {
        unsigned got = 0;
        if (!TakeReadiness() || !ReadAvailable(ack + fill, kAckAreaSize - fill, &got)) {
            break;  // a dead device will not answer; no use waiting for the time-out
        }
        fill += got;
        if (fill >= 2 || timedOut) {
            break;
        }
        WaitAndPollTimer();
    }
    StopTimeout();
    return fill >= 3 && ack[0] == 'O' && ack[1] == 'K' && ack[2] == '\r';
}

bool Tft_FIFO::SendCommandReadLine(const char* text, char* reply, unsigned replyRoom) {
    if (ftHandle == 0 || !SendCommand(text)) {
        return false;
    }
    // The line is collected through rxStore, so no held bytes survive a query.
    rxHeld = 0;
    unsigned fill = 0;
    bool fFinished = false;
    StartTimeout();
    // As the acknowledgement's wait: one last look after the time-out.
    for (;;) {
        unsigned got = 0;
        if (!TakeReadiness() ||
            !ReadAvailable(rxStore, std::min(kRxStoreSize, replyRoom - fill), &got)) {
            fFinished = true;
        } else if (got > 0) {
            std::memcpy(reply + fill, rxStore, got);
            fill += got;
            fFinished = reply[fill - 1] == '\r' || fill > kLineLimit || fill == replyRoom;
        }
        if (fFinished || timedOut) {
            break;
        }
        WaitAndPollTimer();
    }
    StopTimeout();
    if (fill == 0 || reply[fill - 1] != '\r') {
        return false;
    }
    reply[fill - 1] = '\0';
    return true;
}
