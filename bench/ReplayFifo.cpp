// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/ReplayFifo.h"

#include <algorithm>
#include <cstring>
#include <utility>

ReplayFifo::ReplayFifo(std::string bytes) : data(std::move(bytes)) {}

FifoStatus ReplayFifo::Open(int, FifoHandle* handle) {
    *handle = 1;
    return FifoStatusCode::Ok;
}

FifoStatus ReplayFifo::SetUSBParameters(FifoHandle, unsigned, unsigned) {
    return FifoStatusCode::Ok;
}

FifoStatus ReplayFifo::Purge(FifoHandle, unsigned) {
    return FifoStatusCode::Ok;
}

FifoStatus ReplayFifo::Close(FifoHandle) {
    return FifoStatusCode::Ok;
}

FifoStatus ReplayFifo::GetQueueStatus(FifoHandle, unsigned* rxBytes) {
    *rxBytes = static_cast<unsigned>(data.size());
    return FifoStatusCode::Ok;
}

FifoStatus ReplayFifo::Read(FifoHandle, void* buffer, unsigned count, unsigned* got) {
    auto* out = static_cast<char*>(buffer);
    unsigned done = 0;
    while (done < count && !data.empty()) {
        const auto n = std::min<std::size_t>(count - done, data.size() - position);
        std::memcpy(out + done, data.data() + position, n);
        done += static_cast<unsigned>(n);
        position = (position + n) % data.size();
    }
    *got = done;
    return FifoStatusCode::Ok;
}

FifoStatus ReplayFifo::Write(FifoHandle, const void*, unsigned count, unsigned* written) {
    *written = count;
    return FifoStatusCode::Ok;
}
