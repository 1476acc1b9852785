// SPDX-License-Identifier: GPL-3.0-or-later
// Whole files through the HDF5 recording reader: whatever the bytes, it refuses them with a
// reason, or describes a recording the program can use and hands on codes within the
// converter's range, in stretches that fit its channels.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/Codes.h"
#include "record/Hdf5RecordingReader.h"

namespace {

// Enough to pass several chunks; a file may claim far more samples than that.
constexpr std::int64_t kMostSamples = 1 << 16;

// The file lives in memory; the reader opens it by name like any other.
int MemoryFile() {
    static const int fd = memfd_create("fuzz.h5", MFD_CLOEXEC);
    return fd;
}

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void CheckDescription(const Hdf5RecordingReader& reader) {
    const MeasureSettings settings = reader.Settings();
    const auto& channels = reader.Channels();
    Require(settings.spsSel >= 0 && settings.spsSel < kRateCount);
    Require(settings.CHSel == (channels.size() == 2 ? 2 : channels.front()));
    std::int64_t previous = 0;
    for (const RecordingDescription::Restart& restart : reader.Description().restarts) {
        Require(restart.firstSample > previous && restart.firstSample <= reader.Rows());
        previous = restart.firstSample;
    }
    const auto& end = reader.Description().end;
    Require(!end || end->outcome != AcquisitionOutcome::None);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = MemoryFile();
    Require(ftruncate(fd, 0) == 0);
    Require(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);

    Hdf5RecordingReader reader;
    if (!reader.Open(path)) {
        Require(!reader.Reason().empty());
        return 0;
    }
    CheckDescription(reader);
    std::int64_t seen = 0;
    const auto take = [&](std::span<const std::int32_t> ch0, std::span<const std::int32_t> ch1) {
        const std::span<const std::int32_t> columns[2] = {ch0, ch1};
        const std::size_t n = std::max(ch0.size(), ch1.size());
        for (int channel = 0; channel < 2; ++channel) {
            const bool fMeasured = reader.Settings().CHSel != 1 - channel;
            Require(columns[channel].size() == (fMeasured ? n : 0));
            for (const std::int32_t code : columns[channel]) {
                Require(code >= kMinScaleCode && code <= kFullScaleCode);
            }
        }
        seen += static_cast<std::int64_t>(n);
        return seen < kMostSamples;
    };
    if (reader.ReadAll(take)) {
        Require(seen == reader.Rows());
    } else {
        Require(seen >= kMostSamples || !reader.Reason().empty());
    }
    return 0;
}
