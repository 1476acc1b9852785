// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/fakes/ScriptedFifo.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

ScriptedFifo::ScriptedFifo() : readyFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

ScriptedFifo::~ScriptedFifo() {
    close(readyFd);
}

FifoReadiness ScriptedFifo::Readiness(FifoHandle handle) {
    return CheckHandle(handle) == FifoStatusCode::Ok ? FifoReadiness{readyFd, std::nullopt}
                                                     : FifoReadiness{};
}

FifoStatus ScriptedFifo::TakeReadiness(FifoHandle handle) {
    eventfd_t signals = 0;
    eventfd_read(readyFd, &signals);
    if (fHungUp) {
        return FifoStatusCode::IoError;
    }
    return CheckHandle(handle);
}

void ScriptedFifo::Signal() {
    eventfd_write(readyFd, 1);
}

void ScriptedFifo::HangUp() {
    fHungUp = true;
    Signal();
}

FifoStatus ScriptedFifo::Record(Call call, unsigned argument) {
    calls.push_back({call, argument});
    const int n = ++counts[call];
    const auto failure = failures.find(call);
    if (failure != failures.end() && (failure->second.first == 0 || failure->second.first == n)) {
        return failure->second.second;
    }
    return FifoStatusCode::Ok;
}

FifoStatus ScriptedFifo::CheckHandle(FifoHandle handle) const {
    return handle != 0 && handle == openHandle ? FifoStatusCode::Ok : FifoStatusCode::InvalidHandle;
}

FifoStatus ScriptedFifo::Open(int deviceNumber, FifoHandle* handle) {
    const FifoStatus status = Record(Call::Open, static_cast<unsigned>(deviceNumber));
    if (status != FifoStatusCode::Ok) {
        return status;
    }
    openHandle = handleToGive;
    *handle = openHandle;
    return FifoStatusCode::Ok;
}

FifoStatus ScriptedFifo::SetUSBParameters(FifoHandle handle, unsigned rxTransferSize, unsigned) {
    const FifoStatus status = Record(Call::SetUSBParameters, rxTransferSize);
    return status != FifoStatusCode::Ok ? status : CheckHandle(handle);
}

FifoStatus ScriptedFifo::Purge(FifoHandle handle, unsigned mask) {
    const FifoStatus status = Record(Call::Purge, mask);
    if (status != FifoStatusCode::Ok) {
        return status;
    }
    if ((mask & kPurgeRx) != 0) {
        visible.clear();
    }
    return CheckHandle(handle);
}

FifoStatus ScriptedFifo::Close(FifoHandle handle) {
    const FifoStatus status = Record(Call::Close, 0);
    const FifoStatus handleStatus = CheckHandle(handle);
    openHandle = 0;
    return status != FifoStatusCode::Ok ? status : handleStatus;
}

FifoStatus ScriptedFifo::GetQueueStatus(FifoHandle handle, unsigned* rxBytes) {
    const FifoStatus status = Record(Call::GetQueueStatus, 0);
    if (status != FifoStatusCode::Ok) {
        return status;
    }
    if (!bursts.empty()) {
        visible += bursts.front();
        bursts.pop_front();
    }
    *rxBytes = static_cast<unsigned>(visible.size());
    return CheckHandle(handle);
}

FifoStatus ScriptedFifo::Read(FifoHandle handle, void* buffer, unsigned count, unsigned* got) {
    const FifoStatus status = Record(Call::Read, count);
    *got = 0;
    if (status != FifoStatusCode::Ok) {
        return status;
    }
    if (CheckHandle(handle) != FifoStatusCode::Ok) {
        return FifoStatusCode::InvalidHandle;
    }
    const unsigned asked = count > readShortfall ? count - readShortfall : 0;
    const auto n = std::min<std::size_t>(asked, visible.size());
    std::memcpy(buffer, visible.data(), n);
    visible.erase(0, n);
    *got = static_cast<unsigned>(n);
    return FifoStatusCode::Ok;
}

FifoStatus ScriptedFifo::Write(FifoHandle handle, const void* buffer, unsigned count,
                               unsigned* written_) {
    const FifoStatus status = Record(Call::Write, count);
    *written_ = 0;
    if (status != FifoStatusCode::Ok) {
        return status;
    }
    if (CheckHandle(handle) != FifoStatusCode::Ok) {
        return FifoStatusCode::InvalidHandle;
    }
    const std::string bytes(static_cast<const char*>(buffer), count);
    written += bytes;
    writes.push_back(bytes);
    *written_ = count;
    if (!bytes.empty() && bytes.back() == '\r') {
        const auto reply = replies.find(bytes.substr(0, bytes.size() - 1));
        if (reply != replies.end()) {
            QueueBursts(reply->second);
        }
    }
    return FifoStatusCode::Ok;
}

void ScriptedFifo::Queue(std::string_view bytes) {
    if (bursts.empty()) {
        visible += bytes;
    } else {
        bursts.emplace_back(bytes);
    }
}

void ScriptedFifo::QueueBursts(const std::vector<std::string>& newBursts) {
    bursts.insert(bursts.end(), newBursts.begin(), newBursts.end());
}

void ScriptedFifo::OnCommand(const std::string& command, const std::vector<std::string>& reply) {
    replies[command] = reply;
}

void ScriptedFifo::FailCall(Call call, int occurrence, FifoStatus status) {
    failures[call] = {occurrence, status};
}

int ScriptedFifo::CountCalls(Call call) const {
    const auto it = counts.find(call);
    return it == counts.end() ? 0 : it->second;
}

std::vector<ScriptedFifo::Call> ScriptedFifo::CallKinds() const {
    std::vector<Call> kinds;
    for (const auto& record : calls) {
        kinds.push_back(record.call);
    }
    return kinds;
}

unsigned ScriptedFifo::LargestArgument(Call call) const {
    unsigned largest = 0;
    for (const auto& record : calls) {
        if (record.call == call) {
            largest = std::max(largest, record.argument);
        }
    }
    return largest;
}
