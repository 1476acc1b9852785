// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "link/driver/FifoDriver.h"

// A driver that plays the board from a script: bytes queued at once, bursts that appear
// one per queue query, replies queued when a given command is written. It records every
// call and every byte written, and fails any chosen call. Its readiness descriptor signals
// only when the test says so, with or without bytes to read.
class ScriptedFifo : public FifoDriver {
public:
    enum class Call { Open, SetUSBParameters, Purge, Close, GetQueueStatus, Read, Write };
    struct CallRecord {
        Call call;
        unsigned argument;  // device number, rx size, purge mask, read or write size
    };

    ScriptedFifo();
    ~ScriptedFifo() override;
    ScriptedFifo(const ScriptedFifo&) = delete;
    ScriptedFifo& operator=(const ScriptedFifo&) = delete;

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

    // Makes the readiness descriptor readable, whether or not bytes came.
    void Signal();
    // The device reports a hang-up on its readiness descriptor from now on.
    void HangUp();

    // Bytes readable at once (behind any burst already revealed).
    void Queue(std::string_view bytes);
    // Bytes that appear one burst per queue query, after those already queued.
    void QueueBursts(const std::vector<std::string>& bursts);
    // When `command` + CR is written, its reply arrives as these bursts.
    void OnCommand(const std::string& command, const std::vector<std::string>& bursts);
    // Call number `occurrence` (1-based) of this kind fails; 0 = every call of the kind.
    void FailCall(Call call, int occurrence = 0, FifoStatus status = FifoStatusCode::IoError);
    // Every read delivers this many bytes fewer than asked (at least none).
    void ShortenReads(unsigned by) { readShortfall = by; }

    int CountCalls(Call call) const;
    // The kinds of the recorded calls, in order.
    std::vector<Call> CallKinds() const;
    // The largest argument of any recorded call of this kind (0 if none).
    unsigned LargestArgument(Call call) const;
    std::size_t Readable() const { return visible.size(); }
    std::size_t PendingBursts() const { return bursts.size(); }
    bool IsOpen() const { return openHandle != 0; }

    std::vector<CallRecord> calls;
    std::string written;              // every byte written, in order
    std::vector<std::string> writes;  // one entry per write call
    FifoHandle handleToGive = 0x5E1C;

private:
    FifoStatus Record(Call call, unsigned argument);
    FifoStatus CheckHandle(FifoHandle handle) const;

    std::string visible;
    std::deque<std::string> bursts;
    std::map<std::string, std::vector<std::string>> replies;
    std::map<Call, std::pair<int, FifoStatus>> failures;
    std::map<Call, int> counts;
    FifoHandle openHandle = 0;
    unsigned readShortfall = 0;
    int readyFd;
    bool fHungUp = false;
};
