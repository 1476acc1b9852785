// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "link/LinkTiming.h"
#include "link/TimeoutTimer.h"
#include "link/driver/FifoDriver.h"

// Upper-case hexadecimal digit of a value 0..15.
char NibbleToHexChar(unsigned v);

// Byte-level link to the board's USB FIFO chip: opens device 0, discards stale bytes, writes
// command lines (at most kMaxCommandLength characters and a carriage return), reads replies
// and sample data. Reads never block; the two routines that wait for a reply (an "OK" and
// its carriage return, or one reply line) look at the driver, and sleep until it announces
// bytes (handling the caller's events meanwhile), until the reply is complete or the time-out
// has run out. When the time-out comes they look once more, so an answer that came while the
// wait overran (a long paint, a busy machine) still counts.
// Every destination is bounded: the held bytes (kRxStoreSize), the acknowledgement
// (kAckAreaSize), the reply and the sample areas of TADC; what does not fit stays queued in
// the driver.
class Tft_FIFO {
public:
    static constexpr unsigned kRxStoreSize = 10000;
    static constexpr unsigned kAckAreaSize = 4;
    static constexpr unsigned kMaxCommandLength = 19;
    static constexpr unsigned kLineLimit = 15;  // a reply line ends once more bytes than this came
    static constexpr int kDefaultTimeoutMs = 500;

    explicit Tft_FIFO(FifoDriver& fifoDriver, LinkTiming linkTiming = {});
    ~Tft_FIFO();
    Tft_FIFO(const Tft_FIFO&) = delete;
    Tft_FIFO& operator=(const Tft_FIFO&) = delete;

    bool OpenDevice(unsigned rxTransferSize);
    bool Open();
    bool Purge();
    void Close();
    bool IsOpen() const { return ftHandle != 0; }

    void SetTimeout(int ms);
    void StartTimeout();
    void StopTimeout();
    void OnTimeoutTimer();
    bool TimedOut() const { return timedOut; }
    int TimeoutMs() const { return timeoutMs; }

    // Delivers exactly n bytes into buf (room for n), or none while fewer have arrived.
    bool ReadExact(char* buf, unsigned n, unsigned* got);
    // Reads what the driver holds, at most `room` bytes; the rest stays queued.
    bool ReadAvailable(char* buf, unsigned room, unsigned* got);
    bool SendCommand(const char* text);
    bool SendCommandWaitOK(const char* text);
    // Collects one reply line into `reply` (room for `replyRoom` bytes); its carriage
    // return becomes the terminating NUL.
    bool SendCommandReadLine(const char* text, char* reply, unsigned replyRoom);

    // How to sleep until the driver announces bytes (nothing while closed).
    FifoReadiness Readiness();
    // Consumes the driver's signal before a look at the queue; false when the device has
    // reported an error or a hang-up, or none is open.
    bool TakeReadiness();

    // The open chip's USB serial number; empty when closed or the driver cannot tell.
    std::string SerialNumber() const;
    FifoStatus LastStatus() const { return ftStatus; }
    unsigned HeldBytes() const { return static_cast<unsigned>(rxHeld); }
    // Bytes received and not yet delivered: those held, and those the driver reported at the
    // last look and still holds.
    unsigned PendingBytes() const { return static_cast<unsigned>(rxHeld) + rxQueueBytes; }

private:
    bool QueryQueue();
    bool DriverRead(char* buf, unsigned count, unsigned* got);
    void CloseHandle();
    void WaitAndPollTimer();

    FifoDriver& driver;
    LinkTiming timing;

    FifoHandle ftHandle = 0;
    FifoStatus ftStatus = FifoStatusCode::Ok;
    unsigned rxQueueBytes = 0;  // as last reported, less what has been read since
    TimeoutTimer timeoutTimer;
    bool timedOut = false;
    char rxStore[kRxStoreSize];
    std::int32_t rxHeld = 0;
    int timeoutMs = kDefaultTimeoutMs;
};
